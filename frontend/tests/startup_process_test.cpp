// The real program started as a user would: a copy of it in a directory of
// its own, with a stand-in library beside it or none at all. A preloaded
// helper plays the user and writes down what the program showed.
#include <dlfcn.h>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class StartupProcessTest : public QObject {
  Q_OBJECT

 private:
  struct Run {
    int exit_code = -1;
    QProcess::ExitStatus exit_status = QProcess::CrashExit;
    QByteArray standard_error;
    QStringList shown;  // what the helper saw, one line per window
  };

  // Copies the program, and `library` beside it unless empty, then runs it.
  static Run run(const QString& library, const QProcessEnvironment& extra = {}) {
    Run result;
    QTemporaryDir dir;
    if (!dir.isValid()) return result;
    const QString program = dir.filePath(QStringLiteral("tessil"));
    if (!QFile::copy(QStringLiteral(PROGRAM), program)) return result;
    if (!library.isEmpty() && !QFile::copy(library, dir.filePath(QStringLiteral("libtessil.so"))))
      return result;
    const QString log = dir.filePath(QStringLiteral("shown.txt"));

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(AUTOPILOT));
    environment.insert(QStringLiteral("TESSIL_AUTOPILOT_LOG"), log);
    environment.remove(QStringLiteral("LD_LIBRARY_PATH"));
    for (const QString& key : extra.keys()) environment.insert(key, extra.value(key));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(dir.path());
    process.start(program, {});
    if (!process.waitForFinished(30000)) {
      process.kill();
      process.waitForFinished();
      return result;
    }
    result.exit_code = process.exitCode();
    result.exit_status = process.exitStatus();
    result.standard_error = process.readAllStandardError();
    QFile shown(log);
    if (shown.open(QIODevice::ReadOnly | QIODevice::Text))
      result.shown =
          QString::fromUtf8(shown.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return result;
  }

  static QString refusalLine() {
    return QStringLiteral(
               "messagebox\tQuillmark 1.0.0\tCan only run on NT4.0/2000/XP/Vista\t%1\t%2")
        .arg(int(0) /* no icon */)
        .arg(0x00000400 /* OK alone */);
  }

 private slots:
  void platformClassDecides_data() {
    QTest::addColumn<QString>("platformClass");
    QTest::addColumn<bool>("refused");
    QTest::newRow("0") << "0" << true;
    QTest::newRow("2") << "2" << true;
    QTest::newRow("3") << "3" << true;
    QTest::newRow("4") << "4" << false;
    QTest::newRow("7") << "7" << false;
  }
  void platformClassDecides() {
    QFETCH(QString, platformClass);
    QFETCH(bool, refused);
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("TESSIL_FAKE_CLASS"), platformClass);
    const Run result = run(QStringLiteral(FAKE_ACCEPTING), environment);
    QCOMPARE(result.exit_status, QProcess::NormalExit);
    if (refused) {
      QCOMPARE(result.shown, QStringList{refusalLine()});
      QVERIFY(result.exit_code != 0);
    } else {
      QCOMPARE(result.shown, QStringList{"window\tForm1\tQuillmark 1.0.0"});
      QCOMPARE(result.exit_code, 0);
    }
  }

  // The library beside the program wins over one the loader would find.
  void ownDirectoryComesBeforeTheSearchPath() {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("LD_LIBRARY_PATH"),
                       QFileInfo(QStringLiteral(FAKE_ACCEPTING)).absolutePath());
    const Run result = run(QStringLiteral(FAKE_REFUSING), environment);
    QCOMPARE(result.shown, QStringList{refusalLine()});
    QVERIFY(result.exit_code != 0);
  }

  void searchPathServesWhenTheOwnDirectoryHasNone() {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("LD_LIBRARY_PATH"),
                       QFileInfo(QStringLiteral(FAKE_REFUSING)).absolutePath());
    const Run result = run(QString(), environment);
    QCOMPARE(result.shown, QStringList{refusalLine()});
  }

  void missingLibraryEndsBeforeAnyWindow() {
    if (void* installed = ::dlopen("libtessil.so", RTLD_NOW)) {
      ::dlclose(installed);
      QSKIP("a libtessil.so is installed where the loader looks");
    }
    const QString expected = QString::fromLocal8Bit(::dlerror());
    const Run result = run(QString());
    QCOMPARE(result.exit_status, QProcess::NormalExit);
    QVERIFY(result.exit_code != 0);
    // The loader's text comes first and whole; the platform plugin may add
    // notes of its own after it.
    const QString standard_error = QString::fromLocal8Bit(result.standard_error);
    QCOMPARE(standard_error.section(QLatin1Char('\n'), 0, 0), expected);
    QCOMPARE(result.shown, QStringList{QStringLiteral("messagebox\tQuillmark 1.0.0\t%1\t%2\t%3")
                                           .arg(expected)
                                           .arg(3 /* critical */)
                                           .arg(0x00000400)});
  }
};

QTEST_MAIN(StartupProcessTest)
#include "startup_process_test.moc"
