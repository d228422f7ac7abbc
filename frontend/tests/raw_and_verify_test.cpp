// A raw image chosen for "Write image file to floppy", and "Verify after
// writing", against a library in memory.
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include "fake_backend.h"
#include "fake_link_opener.h"
#include "form1.h"
#include "form1_probe.h"
#include "modal_script.h"
#include "test_files.h"

namespace {

using test_files::header144;
using test_files::patterned;
using test_files::readFile;
using test_files::writeFile;

constexpr int disk_size = 80 * 2 * 18 * 512;

}  // namespace

class RawAndVerifyTest : public QObject, public Form1Probe {
  Q_OBJECT

 private:
  FakeBackend backend;
  FakeLinkOpener links;
  QTemporaryDir dir;
  int beeps = 0;

  QString path(const char* name) { return dir.filePath(QLatin1String(name)); }
  QAction* verifyEntry() { return form->findChild<QAction*>(QStringLiteral("verifyAfterWriting")); }
  void makeForm() {
    form = std::make_unique<Form1>(backend, links, [this] { ++beeps; });
    form->fillDriveBox();
    form->show();
  }
  // Presses "Write image file to floppy" and picks `image`; `more` answers
  // what comes after the file dialog.
  bool write(const QString& image, QList<ModalScript::Answer> more = {}) {
    ModalScript script(QList<ModalScript::Answer>{ModalScript::acceptFile(image)} + more);
    press(QStringLiteral("Command3"));
    if (!script.succeeded()) qWarning("%s", qPrintable(script.report()));
    return script.succeeded();
  }

 private slots:
  void initTestCase() {
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QVERIFY(dir.isValid());
  }
  void init() {
    QSettings().clear();
    backend = FakeBackend();
    beeps = 0;
    makeForm();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
  }
  void cleanup() {
    form.reset();
    QSettings().clear();
  }

  // A raw image is described and asked about; on yes the library gets a
  // private tessil copy, gone once the write has been reported. A short one
  // is copied padded with zeros to the disk in the drive.
  void rawImageIsAskedAbout_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("padded");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("described");
    QTest::newRow("1.44 MB, yes") << disk_size << disk_size << true
                                  << "a raw image of a 1.44 MB disk, without a label";
    QTest::newRow("1.44 MB, no") << disk_size << disk_size << false
                                 << "a raw image of a 1.44 MB disk, without a label";
    QTest::newRow("720 KB, yes") << 737280 << 737280 << true
                                 << "a raw image of a 720 KB disk, without a label";
    QTest::newRow("short, yes") << 1296384 - 100 << disk_size << true
                                << "disk.ima is a raw image of 2,532 sectors (1,296,284 bytes), "
                                   "shorter than the 1.44 MB disk in drive A; the other 348 "
                                   "sectors will be filled with zeros";
  }
  void rawImageIsAskedAbout() {
    QFETCH(int, size);
    QFETCH(int, padded);
    QFETCH(bool, yes);
    QFETCH(QString, described);
    const QString raw = path("disk.ima");
    QVERIFY(writeFile(raw, patterned(size)));
    QString question;
    const ModalScript::Answer answer = [&question, yes](QWidget* modal) -> QString {
      auto* box = qobject_cast<QMessageBox*>(modal);
      if (!box) return QStringLiteral("expected the raw image question");
      question = box->text();
      box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
      return {};
    };
    QVERIFY(write(raw, {answer}));
    QVERIFY2(question.contains(described), qPrintable(question));
    QVERIFY(question.contains(QStringLiteral("disk.ima")));
    if (!yes) {
      QVERIFY(!backend.calls.contains(QStringLiteral("writedisk")));
      QVERIFY(!form->timer().isActive());
      QCOMPARE(lines(), QStringList());
      return;
    }
    const QString copy = backend.last_path;
    QVERIFY(copy != raw);
    QByteArray expected = header144();
    if (padded != disk_size) qToLittleEndian(quint32(9), expected.data() + 8);
    QCOMPARE(readFile(copy), expected + patterned(size) + QByteArray(padded - size, '\0'));
    QCOMPARE(QFile::permissions(copy) & (QFile::ReadGroup | QFile::ReadOther),
             QFile::Permissions());
    QVERIFY(form->timer().isActive());
    backend.finish(0);
    form->tick();
    QCOMPARE(lines(), QStringList{"1 : 0 : Done"});
    QVERIFY(!QFile::exists(copy));
    QCOMPARE(readFile(raw), patterned(size));
  }

  // A FAT boot sector made for another format than the disk's refuses it.
  void aBootSectorOfAnotherFormatIsRefused() {
    QByteArray boot = patterned(100 * 512);
    const quint16 fields[][2] = {{11, 512}, {19, 1440}, {24, 9}, {26, 2}, {510, 0xAA55}};
    for (const auto& [at, value] : fields) qToLittleEndian(value, boot.data() + at);
    boot[0] = char(0xEB);
    QVERIFY(writeFile(path("boot.img"), boot));
    QVERIFY(write(path("boot.img")));
    QVERIFY2(lines().join('|').contains(QStringLiteral("a 720 KB disk image")),
             qPrintable(lines().join('|')));
    QVERIFY(!backend.calls.contains(QStringLiteral("writedisk")));
  }

  void tessilImageIsNotAskedAbout() {
    const QString image = path("disk.img");
    QVERIFY(writeFile(image, header144() + patterned(disk_size)));
    QVERIFY(write(image));
    QCOMPARE(backend.last_path, image);
  }

  void verifyIsOffByDefaultAndRemembered() {
    QAction* entry = verifyEntry();
    QVERIFY(entry);
    QVERIFY(entry->isCheckable());
    QVERIFY(!entry->isChecked());
    QCOMPARE(entry->text(), QStringLiteral("Verify after writing"));
    auto* menu = form->findChild<QMenu*>(QStringLiteral("options"));
    QVERIFY(menu);
    const QList<QAction*> bar = form->menuBar()->actions();
    const qsizetype about = bar.indexOf(form->findChild<QAction*>(QStringLiteral("about")));
    QCOMPARE(bar.indexOf(menu->menuAction()), about - 2);

    // Off: a write is reported as it always was, and nothing is read back.
    const QString image = path("off.img");
    QVERIFY(writeFile(image, header144() + patterned(disk_size)));
    QVERIFY(write(image));
    backend.finish(0);
    form->tick();
    QCOMPARE(lines(), QStringList{"1 : 0 : Done"});
    QVERIFY(!backend.calls.contains(QStringLiteral("readdisk")));

    entry->setChecked(true);
    makeForm();
    QVERIFY(verifyEntry()->isChecked());
  }

  // The write's own line, then the read-back with its line and its beep.
  void verifyAddsOneLine_data() {
    QTest::addColumn<QList<int>>("changed");  // sectors read back differently
    QTest::addColumn<int>("code");            // of the read-back job
    QTest::addColumn<QString>("line");
    QTest::newRow("same") << QList<int>{} << 0 << "2 : 0 : Verified: the floppy holds the image";
    QTest::newRow("one differs")
        << QList<int>{2879} << 0
        << "2 : 111 : Verify failed: 1 sector differs, first at C/H/S 79/1/18 (sector 2879)";
    QTest::newRow("six differ")
        << QList<int>{0, 19, 36, 40, 41, 2000} << 0
        << "2 : 111 : Verify failed: 6 sectors differ, first at C/H/S 0/0/1 (sector 0), 0/1/2 "
           "(sector 19), 1/0/1 (sector 36), 1/0/5 (sector 40), 1/0/6 (sector 41)";
    QTest::newRow("read failed") << QList<int>{} << 104
                                 << "2 : 104 : Verify: Floppy disk is damaged";
  }
  void verifyAddsOneLine() {
    QFETCH(QList<int>, changed);
    QFETCH(int, code);
    QFETCH(QString, line);
    verifyEntry()->setChecked(true);
    const QString image = path("verified.img");
    const QByteArray data = patterned(disk_size);
    QVERIFY(writeFile(image, header144() + data));
    setDrive(QStringLiteral("B"));
    QVERIFY(write(image));
    backend.finish(0);
    form->tick();
    QCOMPARE(lines(), QStringList{"1 : 0 : Done"});
    QCOMPARE(beeps, 1);
    QCOMPARE(backend.calls.filter(QStringLiteral("readdisk")).size(), 1);
    QCOMPARE(backend.last_drive, QStringLiteral("B"));
    const QString read_back = backend.last_path;
    QVERIFY(read_back != image);
    QVERIFY(form->timer().isActive());

    QByteArray back = data;
    for (const int sector : changed) back[sector * 512 + 3] = char(back[sector * 512 + 3] ^ 0x5A);
    QVERIFY(writeFile(read_back, header144() + back));
    backend.finish(code);
    form->tick();
    QCOMPARE(lines().size(), 2);
    QCOMPARE(lines().last(), line);
    QCOMPARE(beeps, 2);
    QVERIFY(!form->timer().isActive());
    QVERIFY(!QFile::exists(read_back));
    QCOMPARE(readFile(image), header144() + data);
  }

  void cancelStopsTheVerify() {
    verifyEntry()->setChecked(true);
    const QString image = path("cancel.img");
    QVERIFY(writeFile(image, header144() + patterned(disk_size)));
    QVERIFY(write(image));
    backend.finish(0);
    form->tick();
    QVERIFY(backend.busy);
    press(QStringLiteral("Command4"));
    form->tick();
    QCOMPARE(lines(), (QStringList{"1 : 0 : Done", "2 : 105 : Verify: User cancelled"}));
  }

  // Closing the window: the question names the verify; a stop asked for
  // during the write starts none, even when the write still ended well.
  void closingDuringAVerifyOrAWrite() {
    verifyEntry()->setChecked(true);
    const QString image = path("close.img");
    QVERIFY(writeFile(image, header144() + patterned(disk_size)));
    QVERIFY(write(image));
    backend.finish(0);
    form->tick();
    QString question;
    const auto answer = [&question](const QString& button) {
      return [&question, button](QWidget* modal) -> QString {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return QStringLiteral("expected the close question");
        question = box->text();
        for (QAbstractButton* b : box->buttons())
          if (b->text() == button) b->click();
        return {};
      };
    };
    {
      ModalScript script({answer(QStringLiteral("Keep copying"))});
      QVERIFY(!form->close());
      QVERIFY2(script.succeeded(), qPrintable(script.report()));
      QVERIFY2(question.startsWith(QStringLiteral("Verifying the disk in drive A")),
               qPrintable(question));
    }
    backend.finish(0);
    form->tick();
    QCOMPARE(lines().size(), 2);

    backend.calls.clear();
    backend.cancel_ends_job = false;
    QVERIFY(write(image));
    {
      ModalScript script({answer(QStringLiteral("Stop and close"))});
      QVERIFY(!form->close());
      QVERIFY2(script.succeeded(), qPrintable(script.report()));
    }
    backend.finish(0);
    ModalScript outcome({ModalScript::acceptBox(QStringLiteral("StoppedCopy"))});
    form->tick();
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.report()));
    QCOMPARE(lines().last(), QStringLiteral("3 : 0 : Done"));
    QVERIFY(!backend.calls.contains(QStringLiteral("readdisk")));
    QVERIFY(!form->isVisible());
  }

  // A failed write is reported as ever, and nothing is read back.
  void aFailedWriteIsNotVerified() {
    verifyEntry()->setChecked(true);
    const QString image = path("failed.img");
    QVERIFY(writeFile(image, header144() + patterned(disk_size)));
    QVERIFY(write(image));
    backend.finish(109);
    form->tick();
    QCOMPARE(lines(), QStringList{"1 : 109 : Unable to write to floppy, possible damaged"});
    QVERIFY(!backend.calls.contains(QStringLiteral("readdisk")));
    QVERIFY(!form->timer().isActive());
  }
};

QTEST_MAIN(RawAndVerifyTest)
#include "raw_and_verify_test.moc"
