// What the program says on its console: the command line's answers, given
// before any display is opened, checked on the parser and on copies of the
// real program started without a display.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "command_line.h"

class ConsoleTest : public QObject {
  Q_OBJECT

 private:
  struct Run {
    int exit_code = -1;
    QProcess::ExitStatus exit_status = QProcess::CrashExit;
    QByteArray standard_output;
    QByteArray standard_error;
  };

  // Runs a copy of the program alone in a directory, with `library` beside
  // it unless empty, with no display and `extra` added to its environment.
  static Run run(const QStringList& arguments, const QString& library = {},
                 const QProcessEnvironment& extra = {}) {
    Run result;
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("tessil"));
    if (!dir.isValid() || !QFile::copy(QStringLiteral(PROGRAM), program)) return result;
    if (!library.isEmpty() && !QFile::copy(library, dir.filePath(QStringLiteral("libtessil.so"))))
      return result;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "TESSIL_DEBUG"})
      environment.remove(QString::fromLatin1(name));
    for (const QString& key : extra.keys()) environment.insert(key, extra.value(key));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(dir.path());
    process.start(program, arguments);
    if (!process.waitForFinished(30000)) {
      process.kill();
      process.waitForFinished();
      return result;
    }
    result.exit_code = process.exitCode();
    result.exit_status = process.exitStatus();
    result.standard_output = process.readAllStandardOutput();
    result.standard_error = process.readAllStandardError();
    return result;
  }

  static CommandLineAnswer answer(const QStringList& options) {
    return answerCommandLine(QStringList{QStringLiteral("tessil")} + options);
  }

 private slots:
  void answersAndEnds_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");  // what standard output starts with
    QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: tessil [options]\n";
    QTest::newRow("-h") << QStringList{"-h"} << 0 << "Usage: tessil [options]\n";
    QTest::newRow("--version") << QStringList{"--version"} << 0 << "tessil " PROJECT_VERSION "\n";
    QTest::newRow("-v among Qt's")
        << QStringList{"-platform", "xcb", "-v"} << 0 << "tessil " PROJECT_VERSION "\n";
    QTest::newRow("unknown") << QStringList{"--bogus"} << 2 << "";
    QTest::newRow("letters run together") << QStringList{"-hv"} << 2 << "";
    QTest::newRow("Qt option without its value") << QStringList{"-style"} << 2 << "";
    QTest::newRow("an argument") << QStringList{"image.img"} << 2 << "";
  }
  void answersAndEnds() {
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QString, output);
    const CommandLineAnswer result = answer(options);
    QCOMPARE(result.exit_status, std::optional<int>(status));
    if (status == 0) {
      QVERIFY(result.standard_output.startsWith(output));
      QVERIFY(result.standard_error.isEmpty());
    } else {
      // One line naming the mistake, then the short usage.
      QVERIFY(result.standard_output.isEmpty());
      QVERIFY(result.standard_error.startsWith(QStringLiteral("tessil: ")));
      QVERIFY(result.standard_error.endsWith(
          QStringLiteral("\nUsage: tessil [-h | --help] [-v | --version]\n")));
    }
  }

  void startsTheWindowOtherwise_data() {
    QTest::addColumn<QStringList>("options");
    QTest::newRow("none") << QStringList{};
    QTest::newRow("Qt's, single dash") << QStringList{"-platform", "offscreen", "-reverse"};
    QTest::newRow("Qt's, double dash with =") << QStringList{"--style=Fusion", "-display", ":1"};
  }
  void startsTheWindowOtherwise() {
    QFETCH(QStringList, options);
    const CommandLineAnswer result = answer(options);
    QVERIFY(!result.exit_status);
    QVERIFY(result.standard_output.isEmpty() && result.standard_error.isEmpty());
  }

  void helpNamesTheEnvironment() {
    const QString help = answer({QStringLiteral("--help")}).standard_output;
    for (const char* word : {"--version", "TESSIL_DRIVE_X", "TESSIL_DEBUG", "tessil(1)"})
      QVERIFY2(help.contains(QLatin1String(word)), word);
  }

  // The real program, with no display and no library beside it: the answer
  // comes before either would be needed.
  void programAnswersWithoutDisplay() {
    const Run version = run({QStringLiteral("--version")});
    QCOMPARE(version.exit_status, QProcess::NormalExit);
    QCOMPARE(version.exit_code, 0);
    QCOMPARE(version.standard_output, QByteArray("tessil " PROJECT_VERSION "\n"));
    QCOMPARE(version.standard_error, QByteArray());

    const Run help = run({QStringLiteral("--help")});
    QCOMPARE(help.exit_code, 0);
    QVERIFY(help.standard_output.startsWith("Usage: tessil [options]\n"));

    const Run bogus = run({QStringLiteral("--bogus")});
    QCOMPARE(bogus.exit_status, QProcess::NormalExit);
    QCOMPARE(bogus.exit_code, 2);
    QCOMPARE(bogus.standard_output, QByteArray());
    QCOMPARE(bogus.standard_error.split('\n').value(1),
             QByteArray("Usage: tessil [-h | --help] [-v | --version]"));
  }
};

QTEST_GUILESS_MAIN(ConsoleTest)
#include "console_test.moc"
