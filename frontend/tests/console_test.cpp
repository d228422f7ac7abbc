// What the program says on its console: the command line's answers, given
// before any display is opened, checked on the parser and on copies of the
// real program started without a display; and where the lines that the
// library prints to standard output end up.
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

  // The library's printed line goes where TESSIL_DEBUG sends the library's
  // own notices, and never to the program's standard output.
  void libraryLinesFollowTessilDebug_data() {
    QTest::addColumn<QString>("debug");  // "-" leaves TESSIL_DEBUG unset
    QTest::addColumn<bool>("onStandardError");
    QTest::addColumn<bool>("inFile");
    QTest::newRow("unset") << "-" << false << false;
    QTest::newRow("empty") << "" << false << false;
    QTest::newRow("stderr") << "stderr" << true << false;
    QTest::newRow("a file") << "debug.log" << false << true;
    QTest::newRow("a file that cannot be made") << "no/such/dir/debug.log" << false << false;
  }
  void libraryLinesFollowTessilDebug() {
#ifndef AUTOPILOT
    QSKIP("the start-up helper is not built in this configuration");
#else
    QFETCH(QString, debug);
    QFETCH(bool, onStandardError);
    QFETCH(bool, inFile);
    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString log = work.filePath(QStringLiteral("debug.log"));
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(AUTOPILOT));
    environment.insert(QStringLiteral("TESSIL_AUTOPILOT_LOG"), work.filePath("shown.txt"));
    // A file name is made absolute in the work directory.
    if (debug.contains(QLatin1Char('.')))
      environment.insert(QStringLiteral("TESSIL_DEBUG"), work.filePath(debug));
    else if (debug != QLatin1String("-"))
      environment.insert(QStringLiteral("TESSIL_DEBUG"), debug);

    const Run result = run({}, QStringLiteral(FAKE_PRINTING), environment);
    QCOMPARE(result.exit_status, QProcess::NormalExit);
    QCOMPARE(result.exit_code, 0);
    QFile shown(work.filePath("shown.txt"));
    QVERIFY(shown.open(QIODevice::ReadOnly));
    QVERIFY(shown.readAll().startsWith("window\tForm1\t"));  // it got as far as its window

    const QByteArray line = "nao abriu arquivo\n";
    QCOMPARE(result.standard_output, QByteArray());
    QCOMPARE(result.standard_error.contains(line), onStandardError);
    QFile file(log);
    QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(),
             inFile ? line : QByteArray());
#endif
  }
};

QTEST_GUILESS_MAIN(ConsoleTest)
#include "console_test.moc"
