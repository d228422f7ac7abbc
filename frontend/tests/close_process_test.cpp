// The real program on the real library, stopped while it writes an image
// onto a 64 MiB file drive: by closing its window and answering "Stop and
// close", or by SIGTERM. The drive must then hold the image's
// bytes up to a block boundary and its old bytes after it (or the whole
// image), and the program must have shown the job's outcome and where it
// stopped before it ended, and written both to standard error.
#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include "binding/library_binding.h"

namespace {

constexpr qint64 disk_size = qint64{64} << 20;
constexpr qint64 block = 512;
constexpr int header_size = 316;

// Old and new differ in every byte, so the boundary shows exactly.
QByteArray oldBytes() {
  QByteArray bytes(disk_size, '\0');
  for (qint64 i = 0; i < disk_size; ++i) bytes[i] = char((i * 7 + i / block) & 0xFF);
  return bytes;
}

QByteArray newBytes(const QByteArray& old) {
  QByteArray bytes = old;
  for (char& c : bytes) c = char(~c);
  return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QStringList logLines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
  return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

class CloseProcessTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir;
  QString drive;
  QString image;
  QByteArray old_bytes;
  QByteArray new_bytes;
  qint64 sectors = 0;  // as the drive's geometry counts them

  struct Run {
    bool finished = false;
    QProcess::ExitStatus status = QProcess::CrashExit;
    int code = -1;
    QStringList shown;
    QString errors;
  };

  // One run of the program: it writes the image onto drive A and is stopped
  // the way `stop` says ("close", or a signal sent once the job runs).
  Run run(const QString& stop, int signal_number) {
    Run result;
    const QString log = dir.filePath(QStringLiteral("shown.txt"));
    QFile::remove(log);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(AUTOPILOT));
    environment.insert(QStringLiteral("TESSIL_AUTOPILOT_LOG"), log);
    environment.insert(QStringLiteral("TESSIL_AUTOPILOT_WRITE"), image);
    environment.insert(QStringLiteral("TESSIL_AUTOPILOT_STOP"), stop);
    environment.insert(QStringLiteral("TESSIL_DRIVE_A"), drive);
    environment.remove(QStringLiteral("LD_LIBRARY_PATH"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(dir.path());
    process.start(QStringLiteral(PROGRAM), {});
    if (!process.waitForStarted()) return result;
    if (signal_number != 0) {
      QElapsedTimer clock;
      clock.start();
      while (!logLines(log).contains(QStringLiteral("running")) && clock.elapsed() < 30000 &&
             process.state() == QProcess::Running)
        QTest::qSleep(2);
      ::kill(static_cast<pid_t>(process.processId()), signal_number);
    }
    result.finished = process.waitForFinished(60000);
    if (!result.finished) {
      process.kill();
      process.waitForFinished();
    }
    result.status = process.exitStatus();
    result.code = process.exitCode();
    result.shown = logLines(log);
    result.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir.isValid());
    drive = dir.filePath(QStringLiteral("drive-a.img"));
    image = dir.filePath(QStringLiteral("new.img"));
    old_bytes = oldBytes();
    new_bytes = newBytes(old_bytes);
    QVERIFY(writeFile(drive, old_bytes));

    // The header takes the geometry the library sees in the drive file.
    qputenv("TESSIL_DRIVE_A", QFile::encodeName(drive));
    QStringList failures;
    LibraryBinding library(QFileInfo(QStringLiteral(PROGRAM)).absolutePath(),
                           [&failures](const QString& text) { failures << text; });
    int32_t geometry[5] = {};
    QCOMPARE(library.getdriveinfo(QStringLiteral("A"), geometry[0], geometry[1], geometry[2],
                                  geometry[3], geometry[4]),
             1);
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
    QCOMPARE(qint64{geometry[4]}, disk_size);
    sectors = qint64{geometry[0]} * geometry[1] * geometry[2];
    QVERIFY(sectors > 0);
    QByteArray header(header_size, '\0');
    for (int i = 0; i < 4; ++i)
      qToLittleEndian<quint32>(quint32(geometry[i]), header.data() + 4 * i);
    header.replace(16, 8, "stopped!");
    QVERIFY(writeFile(image, header + new_bytes));
  }

  void stopInTheMiddleOfAWrite_data() {
    QTest::addColumn<QString>("stop");
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("Stop and close") << "close" << 0;
    // SIGINT takes the same path; the window tests send both.
    QTest::newRow("SIGTERM") << "signal" << int(SIGTERM);
  }
  void stopInTheMiddleOfAWrite() {
    QFETCH(QString, stop);
    QFETCH(int, signalNumber);
    // A copy of a file is quick, and a stop may come after the job has
    // already ended; of a few tries, one must stop it in the middle.
    bool stopped_midway = false;
    for (int attempt = 1; attempt <= 3 && !stopped_midway; ++attempt) {
      QVERIFY(writeFile(drive, old_bytes));
      const Run result = run(stop, signalNumber);
      QVERIFY(result.finished);
      QCOMPARE(result.status, QProcess::NormalExit);
      QCOMPARE(result.code, 0);
      QVERIFY2(result.shown.size() >= 3, qPrintable(result.shown.join(QLatin1Char('\n'))));
      QCOMPARE(result.shown[0], QStringLiteral("window\tForm1\tQuillmark 1.0.0"));
      QVERIFY(result.shown[1].startsWith(QLatin1String("filedialog\t")));
      QCOMPARE(result.shown[2], QStringLiteral("running"));
      const QStringList questions =
          result.shown.filter(QRegularExpression(QStringLiteral("^question\t")));
      if (stop == QLatin1String("close") && !questions.isEmpty()) {
        QCOMPARE(questions.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^question\tWriting the image to drive A, "
                                                   "\\d+ %\tKeep copying\\|Stop and close\t"
                                                   "Keep copying$"))
                     .match(questions[0])
                     .hasMatch(),
                 qPrintable(questions[0]));
      } else {
        QVERIFY2(questions.isEmpty(), qPrintable(questions.join(QLatin1Char('\n'))));
      }
      // The program quit showing the job's outcome, or with no job left to
      // stop when the stop came too late.
      QVERIFY(result.shown.last().startsWith(QLatin1String("quit\t")));
      const QString outcome = result.shown.last().section(QLatin1Char('\t'), 1);

      const QByteArray now = [this] {
        QFile file(drive);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
      }();
      QCOMPARE(now.size(), disk_size);
      qint64 written = 0;
      while (written < disk_size && now[written] == new_bytes[written]) ++written;
      QVERIFY2(written % block == 0, qPrintable(QStringLiteral("stopped at byte %1").arg(written)));
      QVERIFY2(now.mid(written) == old_bytes.mid(written),
               qPrintable(QStringLiteral("old bytes changed past block %1").arg(written / block)));
      const QStringList boxes =
          result.shown.filter(QRegularExpression(QStringLiteral("^stopped\t")));
      if (outcome == QLatin1String("1 : 105 : User cancelled")) {
        stopped_midway = true;
        // Where it stopped is derived from a whole percentage: within a
        // hundredth of the disk, and as much again for progress a chunk late.
        const QString total = QLocale(QLocale::English, QLocale::UnitedStates).toString(sectors);
        const QRegularExpressionMatch place =
            QRegularExpression(
                QStringLiteral("Stopped at about sector ([\\d,]+) of %1 \\(\\d+ %\\): "
                               "the disk in drive A holds the new image up to "
                               "there and its old data after\\.")
                    .arg(total))
                .match(result.errors);
        QVERIFY2(place.hasMatch(), qPrintable(result.errors));
        QVERIFY(result.errors.contains(QLatin1String("tessil: 1 : 105 : User cancelled\n")));
        const qint64 sector = place.captured(1).remove(QLatin1Char(',')).toLongLong();
        QVERIFY2(qAbs(sector * (disk_size / sectors) - written) <= disk_size / 50,
                 qPrintable(place.captured(0)));
        const QStringList expected_boxes =
            stop == QLatin1String("close")
                ? QStringList{QStringLiteral("stopped\t%1\t%2").arg(outcome, place.captured(0))}
                : QStringList();
        QCOMPARE(boxes, expected_boxes);
        qInfo("stopped after %lld of %lld blocks", written / block, disk_size / block);
      } else {
        QVERIFY2(outcome == QLatin1String("1 : 0 : Done") || outcome.isEmpty(),
                 qPrintable(outcome));
        QCOMPARE(written, disk_size);
      }
    }
    QVERIFY(stopped_midway);
  }
};

QTEST_MAIN(CloseProcessTest)
#include "close_process_test.moc"
