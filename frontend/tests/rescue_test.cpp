// Rescuing a damaged disk from the window: the rescue window's live map,
// Stop, "Retry bad sectors", the question after a read that found the disk
// damaged, raw images and reports from the save dialog. The library's jobs
// are a fake in memory; the rescue is the application layer's own, on a
// drive in memory whose chosen sectors fail.
#include <QAbstractButton>
#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "app/rescue_plan.h"
#include "fake_backend.h"
#include "fake_link_opener.h"
#include "fake_platform.h"
#include "form1_probe.h"
#include "image_kinds.h"
#include "modal_script.h"
#include "rescue/disk_menu.h"
#include "rescue/rescue_window.h"
#include "rescue/sector_map_view.h"
#include "test_files.h"

namespace {

using test_files::header144;
using test_files::readFile;
using test_files::writeFile;

using Look = SectorMapView::Look;
constexpr int sector = 512;
constexpr int sectors = 2880;

}  // namespace

class RescueTest : public QObject, public Form1Probe {
  Q_OBJECT

 private:
  FakeBackend backend;
  FakeLinkOpener links;
  QTemporaryDir dir;
  std::unique_ptr<tessil::testing::FakePlatform> fake;
  tessil::testing::FakeMedium medium;

  QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }
  QByteArray diskBytes() const {
    return QByteArray(reinterpret_cast<const char*>(medium.data.data()),
                      qsizetype(medium.data.size()));
  }
  // Every rescue window open now.
  QList<RescueWindow*> rescues() const { return form->diskMenu().rescues(); }
  RescueWindow* rescue(const QString& image) {
    fake->insert("A", medium);
    tessil::app::DiskRescueRequest request;
    request.letter = 'A';
    request.image = QFile::encodeName(image).toStdString();
    return form->diskMenu().startRescue(request);
  }
  static QString results(RescueWindow* w) {
    return w->findChild<QPlainTextEdit*>(QStringLiteral("results"))->toPlainText();
  }
  static bool ended(RescueWindow* w) {
    return QTest::qWaitFor([w] { return !w->running() && !results(w).isEmpty(); }, 20000);
  }
  // The image's rescued sectors hold the disk's bytes, by its map.
  bool agreesWithMap(const QString& image) {
    std::string error;
    const QByteArray text = readFile(image + QStringLiteral(".map"));
    const auto map = tessil::rescue::parse_map(text.toStdString(), sector, sectors * sector, error);
    const QByteArray data = readFile(image).mid(316);
    if (!map || data.size() != sectors * sector) return false;
    for (int s = 0; s < sectors; ++s)
      if (map->status_at(uint64_t(s) * sector) == tessil::rescue::Status::rescued &&
          data.mid(s * sector, sector) != diskBytes().mid(s * sector, sector))
        return false;
    return true;
  }

 private slots:
  void initTestCase() {
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QVERIFY(dir.isValid());
  }
  void init() {
    QSettings().clear();
    fake = std::make_unique<tessil::testing::FakePlatform>();
    medium = tessil::testing::make_medium(80, 2, 18);
    QVERIFY(openForm(backend, links));
  }
  void cleanup() {
    fake->release();  // a rescue held by a failed check ends with its window
    form.reset();
    fake.reset();
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
      QFile::remove(path(qPrintable(name)));
  }

  // The map fills in as the rescue reads; at the end a bad sector is red,
  // hovering names it and the file it belonged to, and the window says
  // what was hit, the checksums and where everything is.
  void theMapFollowsTheRescueAndTheDamageIsNamed() {
    QProcess shell;
    shell.setWorkingDirectory(dir.path());
    shell.start(
        QStringLiteral("sh"),
        {QStringLiteral("-c"), QStringLiteral("mkfs.fat -C -F 12 fat.img 1440 >/dev/null && "
                                              "(yes 'rescue test data' || true) | head -c "
                                              "300000 >big && mcopy -i fat.img big ::/BIG.BIN")});
    if (!shell.waitForFinished() || shell.exitCode() != 0) QSKIP("mkfs.fat and mtools are needed");
    const QByteArray fat = readFile(path("fat.img"));
    std::memcpy(medium.data.data(), fat.constData(), medium.data.size());
    medium.bad_blocks = {500};  // in BIG.BIN's data
    child<QAction>(QStringLiteral("writeReports"))->setChecked(true);
    fake->hold_at_block(216);  // the third large read, before any failure

    RescueWindow* w = rescue(path("disk.tsl"));
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("Rescue \u2014 drive A"));
    QVERIFY(fake->wait_until_held());
    SectorMapView& map = w->map();
    QTRY_COMPARE(map.lookOf(215), Look::rescued);
    QCOMPARE(map.lookOf(500), Look::not_tried);
    fake->release();
    QVERIFY(ended(w));
    QCOMPARE(map.lookOf(500), Look::bad);
    QCOMPARE(map.lookOf(499), Look::rescued);
    const QString tip = map.textAt(map.cellCentre(500));
    QVERIFY2(tip.startsWith(QStringLiteral("C/H/S 13/1/15, sector 500: bad\nFile: BIG.BIN")),
             qPrintable(tip));
    QCOMPARE(map.textAt(map.cellCentre(19)).section(QLatin1Char('\n'), 1),
             QStringLiteral("Root directory"));

    const QString said = results(w);
    for (const QString& part :
         {QStringLiteral("Done: 2879 of 2880 sectors rescued, 1 bad, 0 not tried"),
          QStringLiteral("Damaged: BIG.BIN"), QStringLiteral("\nSHA-256: "),
          QStringLiteral("\nReport: ") + path("disk.tsl.json")})
      QVERIFY2(said.contains(part), qPrintable(said));
    QVERIFY(QFile::exists(path("disk.tsl.json")));
    QVERIFY(agreesWithMap(path("disk.tsl")));
    QCOMPARE(lines().last(), QStringLiteral("1 : 104 : Floppy disk is damaged"));
    QVERIFY(w->findChild<QPushButton*>(QStringLiteral("retryBadSectors"))->isEnabled());
  }

  // Stop ends the rescue after the read under way: image and map agree, and
  // the message list has the cancel's line. Retry reads what stayed bad.
  void stopKeepsImageAndMapTogetherAndRetryReadsTheRest() {
    fake->hold_at_block(216);
    RescueWindow* w = rescue(path("stop.tsl"));
    QVERIFY(fake->wait_until_held());
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("stop")), Qt::LeftButton);
    fake->release();
    QVERIFY(ended(w));
    QVERIFY2(results(w).startsWith(QStringLiteral("Stopped: ")), qPrintable(results(w)));
    QVERIFY(agreesWithMap(path("stop.tsl")));
    QCOMPARE(lines().last(), QStringLiteral("1 : 105 : User cancelled"));

    medium.bad_blocks = {7};
    w = rescue(path("retry.tsl"));
    QVERIFY(ended(w));
    QCOMPARE(w->map().lookOf(7), Look::bad);
    fake->insert("A", tessil::testing::make_medium(80, 2, 18));  // cleaned, it reads
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("retryBadSectors")),
                      Qt::LeftButton);
    QVERIFY(ended(w));
    QVERIFY2(results(w).startsWith(QStringLiteral("Done: 2880 of 2880")), qPrintable(results(w)));
    QCOMPARE(w->map().lookOf(7), Look::rescued);
    QCOMPARE(lines().last(), QStringLiteral("3 : 0 : Done"));
  }

  // A read that finds the disk damaged asks; yes rescues the rest into the
  // same image without reading again what the read got, no leaves it.
  void aDamagedReadOffersTheRescue_data() {
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("raw");
    QTest::newRow("no") << false << false;
    QTest::newRow("yes") << true << false;
    QTest::newRow("yes, raw") << true << true;
  }
  void aDamagedReadOffersTheRescue() {
    QFETCH(bool, yes);
    QFETCH(bool, raw);
    const QString image = path(raw ? "read.img" : "read.tsl");
    fake->insert("A", medium);
    labelBox()->clear();  // as the header below has it
    {
      ModalScript choose({[&](QWidget* modal) -> QString {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) return QStringLiteral("no file dialog");
        dialog->selectNameFilter(raw ? image_kinds::raw_filter : image_kinds::tessil_filter);
        return ModalScript::acceptFile(image)(modal);
      }});
      press(QStringLiteral("Command2"));
      QVERIFY2(choose.succeeded(), qPrintable(choose.report()));
    }
    QCOMPARE(backend.last_path == image, !raw);  // a raw image is read into a private one
    // What the read got before it failed: the first 20 sectors. A map left
    // by an earlier rescue into that name no longer describes it.
    QVERIFY(writeFile(backend.last_path, header144() + diskBytes().left(20 * sector)));
    QVERIFY(writeFile(image + QStringLiteral(".map"), "0x00000000  0x00168000  +\n"));
    backend.percentage = 1;
    form->tick();
    backend.finish(104, 100);
    ModalScript question({[&](QWidget* modal) -> QString {
      if (modal->objectName() != QStringLiteral("RescueQuestion"))
        return modal->objectName() + QLatin1Char(' ') + static_cast<QMessageBox*>(modal)->text();
      return ModalScript::answerQuestion(yes)(modal);
    }});
    form->tick();
    QVERIFY2(question.succeeded(), qPrintable(question.report()));
    QCOMPARE(lines().first(), QStringLiteral("1 : 104 : Floppy disk is damaged"));
    QCOMPARE(child<QProgressBar>(QStringLiteral("ProgressBar1"))->value(), 1);
    QCOMPARE(rescues().size(), yes ? 1 : 0);
    if (!yes) return;
    QVERIFY(ended(rescues().first()));
    QCOMPARE(lines().last(), QStringLiteral("2 : 0 : Done"));
    QCOMPARE(fake->medium("A").reads.count(10), 0u);  // it came from the read
    QCOMPARE(readFile(image).right(sectors * sector), diskBytes());
    QCOMPARE(readFile(image).size(), sectors * sector + (raw ? 0 : 316));
  }

  // Closing the main window while a rescue runs asks; keeping it changes
  // nothing, stopping ends the rescue with image and map in agreement and
  // then closes.
  void closingDuringARescueAsks() {
    fake->hold_at_block(216);
    RescueWindow* w = rescue(path("close.tsl"));
    QVERIFY(fake->wait_until_held());
    const auto answer = [](const QString& button) {
      return [button](QWidget* modal) -> QString {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box || box->objectName() != QStringLiteral("RescueCloseQuestion"))
          return QStringLiteral("not the close question");
        if (!box->text().startsWith(QStringLiteral("Rescuing drive A: "))) return box->text();
        for (QAbstractButton* b : box->buttons())
          if (b->text() == button) b->click();
        return {};
      };
    };
    for (const QString& button :
         {QStringLiteral("Keep rescuing"), QStringLiteral("Stop and close")}) {
      ModalScript script({answer(button)});
      QVERIFY(!form->close());
      QVERIFY2(script.succeeded(), qPrintable(script.report()));
      QVERIFY(form->isVisible());
    }
    QVERIFY(w->findChild<QPushButton*>(QStringLiteral("stop"))->isEnabled() == false);
    fake->release();
    QTRY_VERIFY(!form->isVisible());
    QVERIFY(agreesWithMap(path("close.tsl")));
  }

  // A raw image chosen in the save dialog is the disk's sectors alone once
  // the read is done, with its report beside it when asked for.
  void aRawChoiceGivesARawImage() {
    child<QAction>(QStringLiteral("writeReports"))->setChecked(true);
    const QString image = path("plain.ima");
    ModalScript choose({[&](QWidget* modal) -> QString {
      qobject_cast<QFileDialog*>(modal)->selectNameFilter(image_kinds::raw_filter);
      return ModalScript::acceptFile(image)(modal);
    }});
    press(QStringLiteral("Command2"));
    QVERIFY2(choose.succeeded(), qPrintable(choose.report()));
    QVERIFY(writeFile(backend.last_path, header144() + diskBytes()));
    backend.finish(0, 100);
    form->tick();
    QCOMPARE(lines().last(), QStringLiteral("1 : 0 : Done"));
    QCOMPARE(readFile(image), diskBytes());
    QVERIFY(readFile(image + QStringLiteral(".json")).contains("\"kind\": \"raw\""));
  }
};

QTEST_MAIN(RescueTest)
#include "rescue_test.moc"
