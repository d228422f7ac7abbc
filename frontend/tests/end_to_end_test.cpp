// The real program's windows on the real library, which this test finds
// beside itself as the program does. Drives A and B stand on 1.44 MB files.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include "binding/library_binding.h"
#include "binding/program_directory.h"
#include "fake_link_opener.h"
#include "form1.h"
#include "form1_probe.h"
#include "modal_script.h"
#include "test_files.h"

namespace {

using test_files::readFile;
using test_files::writeFile;

constexpr qint64 disk_size = 80 * 2 * 18 * 512;
constexpr int job_timeout_ms = 30000;

QByteArray patternedDisk() {
  return test_files::patterned(disk_size);
}

}  // namespace

class EndToEndTest : public QObject, public Form1Probe {
  Q_OBJECT

 private:
  QTemporaryDir dir;
  QString drive_a;
  QString drive_b;
  QStringList loader_failures;
  std::unique_ptr<LibraryBinding> library;
  FakeLinkOpener links;

  // Presses a start command and answers its dialog with `path`.
  bool start(const char* button, const QString& path) {
    ModalScript script({ModalScript::acceptFile(path)});
    press(button);
    if (!script.succeeded()) qWarning("%s", qPrintable(script.report()));
    return script.succeeded();
  }
  bool waitForLines(int count) {
    QElapsedTimer clock;
    clock.start();
    while (lines().size() < count && clock.elapsed() < job_timeout_ms) QTest::qWait(50);
    return lines().size() >= count;
  }

 private slots:
  void initTestCase() {
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QVERIFY(dir.isValid());
    drive_a = dir.filePath(QStringLiteral("drive-a.img"));
    drive_b = dir.filePath(QStringLiteral("drive-b.img"));
    qputenv("TESSIL_DRIVE_A", QFile::encodeName(drive_a));
    qputenv("TESSIL_DRIVE_B", QFile::encodeName(drive_b));
    library = std::make_unique<LibraryBinding>(
        programDirectory(), [this](const QString& text) { loader_failures << text; });
    QVERIFY(library->getversion() >= 4);
    QVERIFY2(loader_failures.isEmpty(), qPrintable(loader_failures.join(QLatin1Char('\n'))));
  }
  void init() {
    QVERIFY(writeFile(drive_a, patternedDisk()));
    QVERIFY(writeFile(drive_b, QByteArray(disk_size, '\0')));
    qputenv("TESSIL_DRIVE_B", QFile::encodeName(drive_b));
    QVERIFY(openForm(*library, links));
  }
  void cleanup() {
    // Leave no job running into the next test.
    QTRY_COMPARE_WITH_TIMEOUT(library->retvalue(), 0, job_timeout_ms);
    form.reset();
  }

  void diskInformationOfAFloppyImage() {
    press("Command1");
    const QStringList expected{"Cylinders : 80", "Tracks/cylinder : 2", "Sectors/track : 18",
                               "Bytes/sector : 512", "Disk space : 1474560"};
    QCOMPARE(geometryLabels(), expected);
    QCOMPARE(lines(), QStringList{"1 : 0 : Done"});
  }

  void emptyDriveShowsZeros() {
    qputenv("TESSIL_DRIVE_B", QFile::encodeName(dir.filePath(QStringLiteral("no-such-disk"))));
    setDrive("B");
    press("Command1");
    const QStringList expected{"Cylinders : 0", "Tracks/cylinder : 0", "Sectors/track : 0",
                               "Bytes/sector : 0", "Disk space : 0"};
    QCOMPARE(geometryLabels(), expected);
    QCOMPARE(lines(), QStringList{"1 : 1 : Drive is empty"});
  }

  // Drive A into an image, then the image onto drive B, from the window.
  void wholeDiskToImageAndBack() {
    const QString label = QString::fromUtf8("Cópia de segurança nº 1");
    const QString image = dir.filePath(QStringLiteral("copy of A.img"));
    labelBox()->setText(label);

    QVERIFY(start("Command2", image));
    QVERIFY(form->timer().isActive());
    QVERIFY(waitForLines(1));
    QCOMPARE(lines(), QStringList{"1 : 0 : Done"});
    QCOMPARE(child<QProgressBar>(QStringLiteral("ProgressBar1"))->value(), 100);
    QVERIFY(!form->timer().isActive());

    const QByteArray written = readFile(image);
    QCOMPARE(written.size(), 316 + disk_size);
    const auto field = [&written](int index) {
      return qFromLittleEndian<quint32>(written.constData() + 4 * index);
    };
    QCOMPARE(field(0), 80u);
    QCOMPARE(field(1), 2u);
    QCOMPARE(field(2), 18u);
    QCOMPARE(field(3), 512u);
    const QByteArray stored_label = written.mid(16, 300);
    QCOMPARE(stored_label.left(stored_label.indexOf('\0')), label.toLocal8Bit());
    QVERIFY(written.mid(316) == readFile(drive_a));

    labelBox()->setText(QStringLiteral("something else"));
    setDrive("B");
    QVERIFY(start("Command3", image));
    QCOMPARE(labelBox()->text(), label);
    QVERIFY(waitForLines(2));
    QCOMPARE(lines().last(), QStringLiteral("2 : 0 : Done"));
    QVERIFY(readFile(drive_b) == readFile(drive_a));
  }

  // An image that cannot be opened leaves the 300 blanks in the label box,
  // and the write job's own result is reported.
  void unreadableImageForWriting() {
    QVERIFY(start("Command3", dir.filePath(QStringLiteral("missing.img"))));
    QCOMPARE(labelBox()->text(), QString(300, QLatin1Char(' ')));
    QVERIFY(waitForLines(1));
    QCOMPARE(lines(), QStringList{"1 : 106 : Unable to open image file to read"});
    QVERIFY(readFile(drive_a) == patternedDisk());
  }

  // A path longer than the library's 299-byte text field is handed over
  // whole; the library refuses it rather than write to a shortened name.
  void pathTooLongForTheLibrary() {
    QString deep = dir.path();
    for (const char* part : {"a", "b", "c"})
      deep += QLatin1Char('/') + QString(100, QLatin1Char(*part));
    QVERIFY(QDir().mkpath(deep));
    const QString image = deep + QStringLiteral("/image.img");
    QVERIFY(QFile::encodeName(image).size() > 299);
    QVERIFY(start("Command2", image));
    QVERIFY(waitForLines(1));
    QCOMPARE(lines(), QStringList{"1 : 101 : Unable to open image file to write"});
    QVERIFY(!QFile::exists(image));
    QDirIterator created(dir.path(), QDir::Files, QDirIterator::Subdirectories);
    while (created.hasNext()) {
      const QString file = created.next();
      QVERIFY2(!file.startsWith(dir.filePath(QStringLiteral("a"))), qPrintable(file));
    }
  }

  // The copy of a file-backed disk is quick, so a cancel pressed right after
  // the start may come too late; of a few tries, one must be cancelled and
  // none may end otherwise than cancelled or done.
  void cancelDuringAJob() {
    bool cancelled = false;
    for (int attempt = 1; attempt <= 5 && !cancelled; ++attempt) {
      QVERIFY(start("Command2", dir.filePath(QStringLiteral("cancel-%1.img").arg(attempt))));
      press("Command4");
      QVERIFY(waitForLines(attempt));
      const QString line = lines().last();
      const QString prefix = QString::number(attempt) + QStringLiteral(" : ");
      QVERIFY2(line == prefix + QStringLiteral("105 : User cancelled") ||
                   line == prefix + QStringLiteral("0 : Done"),
               qPrintable(line));
      cancelled = line.endsWith(QLatin1String("User cancelled"));
    }
    QVERIFY(cancelled);
  }

  // A raw image made by mkfs.fat, written after the window's question, with
  // the read-back verify on; the private copy is gone afterwards.
  void rawImageFromMkfsIsWrittenAndVerified() {
    const QString raw = dir.filePath(QStringLiteral("dos.ima"));
    if (QProcess::execute(QStringLiteral("mkfs.fat"),
                          {QStringLiteral("-C"), QStringLiteral("-n"), QStringLiteral("RAWDISK"),
                           raw, QStringLiteral("1440")}) != 0)
      QSKIP("mkfs.fat (dosfstools) is not installed");
    QTemporaryDir temp;
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    form->findChild<QAction*>(QStringLiteral("verifyAfterWriting"))->setChecked(true);
    setDrive("B");
    ModalScript script({ModalScript::acceptFile(raw), ModalScript::answerQuestion(true)});
    press("Command3");
    QVERIFY2(script.succeeded(), qPrintable(script.report()));
    const bool ended = waitForLines(2);
    QSettings().clear();
    qunsetenv("TMPDIR");
    QVERIFY(ended);
    QCOMPARE(lines(),
             (QStringList{"1 : 0 : Done", "2 : 0 : Verified: the floppy holds the image"}));
    QCOMPARE(labelBox()->text(), QString());
    QVERIFY(readFile(drive_b) == readFile(raw));
    QCOMPARE(QDir(temp.path()).entryList(QDir::Files), QStringList());
  }

  void diskInformationWhileAJobRuns() {
    QVERIFY(start("Command2", dir.filePath(QStringLiteral("during.img"))));
    press("Command1");
    QCOMPARE(lines().first(), QStringLiteral("1 : 0 : Done"));
    QCOMPARE(geometryLabels().last(), QStringLiteral("Disk space : 1474560"));
    QVERIFY(waitForLines(2));
    QCOMPARE(lines().last(), QStringLiteral("2 : 0 : Done"));
    QCOMPARE(readFile(dir.filePath(QStringLiteral("during.img"))).size(), 316 + disk_size);
  }
};

QTEST_MAIN(EndToEndTest)
#include "end_to_end_test.moc"
