// Formatting from the window's Disk menu: the drive's formats in the dialog,
// the question, the format on its own thread with the main window's bar
// following it, Cancel, closing during a format, and the outcome's line.
// The format is the application layer's own, on a drive in memory.
#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include "fake_backend.h"
#include "fake_link_opener.h"
#include "fake_platform.h"
#include "form1_probe.h"
#include "modal_script.h"
#include "standard_formats.h"

namespace {

constexpr int tracks = 160;  // of a 1.44 MB disk

const tessil::StandardFormat* named(std::string_view name) {
  for (const tessil::StandardFormat& format : tessil::standard_formats)
    if (format.name == name) return &format;
  return nullptr;
}

QPushButton* okOf(QWidget* dialog) {
  return dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
}

// Accepts the format dialog as it opens: the largest format, with FAT.
QString acceptFormatDialog(QWidget* modal) {
  if (modal->objectName() != QStringLiteral("FormatDialog"))
    return QStringLiteral("expected FormatDialog, got \"%1\"").arg(modal->objectName());
  okOf(modal)->click();
  return {};
}

}  // namespace

class FormatTest : public QObject, public Form1Probe {
  Q_OBJECT

 private:
  FakeBackend backend;
  FakeLinkOpener links;
  std::unique_ptr<tessil::testing::FakePlatform> fake;
  tessil::testing::FakeMedium medium;

  int formatted() const { return fake->medium("A").tracks_formatted; }
  QProgressBar* bar() const { return child<QProgressBar>(QStringLiteral("ProgressBar1")); }
  QPushButton* cancelButton() const {
    return form->findChild<QPushButton*>(QStringLiteral("cancelFormat"));
  }
  // The modals' answers for the format under way.
  std::unique_ptr<ModalScript> script;

  // Chooses "Format disk…" with `answers` for the modals it opens; with
  // `wait`, waits until all of them, a result box's too, were answered.
  bool formatFromMenu(QList<ModalScript::Answer> answers, bool wait = true) {
    fake->insert("A", medium);
    script.reset();  // one script at a time, or both answer a modal
    script = std::make_unique<ModalScript>(std::move(answers));
    child<QAction>(QStringLiteral("formatDisk"))->trigger();
    if (!wait) return true;
    const bool ok = QTest::qWaitFor([this] { return script->succeeded(); }, 20000);
    if (!ok) qWarning("%s", qPrintable(script->report()));
    return ok;
  }

 private slots:
  void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
  void init() {
    QSettings().clear();
    fake = std::make_unique<tessil::testing::FakePlatform>();
    medium = tessil::testing::make_medium(80, 2, 18);
    medium.formats = {named("720 KB"), named("1.44 MB")};
    QVERIFY(openForm(backend, links));
  }
  void cleanup() {
    fake->release();  // a format held by a failed check ends with the window
    script.reset();
    form.reset();
    fake.reset();
  }

  // The dialog lists the drive's formats, its own chosen (not a denser
  // 21-sector one), and refuses a label FAT cannot take; a drive with no
  // formats is refused at once.
  void theDialogOffersTheDrivesFormats() {
    medium.formats = {named("720 KB"), named("1.44 MB"), named("1.68 MB"), named("1.72 MB")};
    QStringList items;
    QString problem;
    bool refused_ok = true;
    QVERIFY(formatFromMenu({[&](QWidget* modal) -> QString {
      auto* type = modal->findChild<QComboBox*>(QStringLiteral("formatType"));
      if (!type) return QStringLiteral("no formatType");
      for (int i = 0; i < type->count(); ++i) items << type->itemText(i);
      items << type->currentText();
      if (!modal->findChild<QCheckBox*>(QStringLiteral("emptyFat"))->isChecked())
        return QStringLiteral("emptyFat not checked");
      auto* label = modal->findChild<QLineEdit*>(QStringLiteral("volumeLabel"));
      label->setText(QStringLiteral("A*B"));
      problem = modal->findChild<QLabel*>(QStringLiteral("labelProblem"))->text();
      refused_ok = okOf(modal)->isEnabled();
      label->setText(QStringLiteral("BACKUP"));
      if (!okOf(modal)->isEnabled()) return QStringLiteral("a good label still refused");
      qobject_cast<QDialog*>(modal)->reject();
      return {};
    }}));
    QCOMPARE(items, (QStringList{"720 KB", "1.44 MB", "1.68 MB", "1.72 MB", "1.44 MB"}));
    QVERIFY2(problem.contains(QLatin1Char('*')), qPrintable(problem));
    QVERIFY(!refused_ok);
    QCOMPARE(formatted(), 0);

    medium.formats.clear();
    QStringList said;
    QVERIFY(formatFromMenu({ModalScript::acceptBox(QStringLiteral("FormatRefused"), &said)}));
    QCOMPARE(said.first(),
             QStringLiteral("Drive A cannot be formatted: format works on floppy drives only"));
  }

  // Yes formats every track, reads each back and writes the FAT volume; no
  // formats nothing.
  void theQuestionDecides_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
  }
  void theQuestionDecides() {
    QFETCH(bool, yes);
    QString question;
    QVERIFY(formatFromMenu({acceptFormatDialog, [&](QWidget* modal) {
                              auto* box = qobject_cast<QMessageBox*>(modal);
                              question = box->text();
                              if (box->defaultButton() != box->button(QMessageBox::No))
                                question += QStringLiteral(" (yes by default)");
                              return ModalScript::answerQuestion(yes)(modal);
                            }}));
    QCOMPARE(question, QStringLiteral("Format the disk in drive A as 1.44 MB? Everything on it "
                                      "will be lost."));
    if (!yes) {
      QCOMPARE(formatted(), 0);
      QVERIFY(lines().isEmpty());
      return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(lines(), QStringList{"1 : 0 : Done"}, 20000);
    QCOMPARE(formatted(), tracks);
    QCOMPARE(bar()->value(), 100);
    QCOMPARE(uint8_t(fake->contents("A").at(510)), 0x55);  // the boot sector's mark
    QTRY_VERIFY(!cancelButton());
  }

  // A track that will not format, or will not read back: the outcome's line
  // in the list, the track named in the result box.
  void aFailingTrackIsNamed_data() {
    QTest::addColumn<bool>("command_fails");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("detail");
    QTest::newRow("format command")
        << true << "1 : 109 : Unable to write to floppy, possible damaged"
        << "Cylinder 3 head 1 would not format";
    QTest::newRow("read back") << false << "1 : 111 : Verify failed"
                               << "Tracks that did not read back: cylinder 3 head 1.";
  }
  void aFailingTrackIsNamed() {
    QFETCH(bool, command_fails);
    QFETCH(QString, line);
    QFETCH(QString, detail);
    if (command_fails)
      medium.failing_track = 7;
    else
      medium.bad_blocks = {7 * 18 + 5};
    QStringList said;
    QVERIFY(formatFromMenu({acceptFormatDialog, ModalScript::answerQuestion(true),
                            ModalScript::acceptBox(QStringLiteral("FormatResult"), &said)}));
    QCOMPARE(lines(), QStringList{line});
    QVERIFY2(said.first().contains(detail), qPrintable(said.first()));
    QCOMPARE(formatted(), command_fails ? 7 : tracks);
  }

  // Cancel takes effect before the next track; the bar showed how far the
  // format had come, and the box says the disk is partly formatted.
  void cancelStopsAtATrackBoundary() {
    fake->hold_at_block(tessil::testing::FakePlatform::format_track(40));
    QStringList said;
    formatFromMenu({acceptFormatDialog, ModalScript::answerQuestion(true),
                    ModalScript::acceptBox(QStringLiteral("FormatResult"), &said)},
                   false);
    QVERIFY(fake->wait_until_held());
    QTRY_COMPARE(bar()->value(), 40 * 100 / (2 * tracks));
    QVERIFY(cancelButton());
    QTest::mouseClick(cancelButton(), Qt::LeftButton);
    fake->release();
    QTRY_VERIFY2_WITH_TIMEOUT(script->succeeded(), qPrintable(script->report()), 20000);
    QCOMPARE(lines(), QStringList{"1 : 105 : User cancelled"});
    QCOMPARE(formatted(), 41);
    QVERIFY2(said.first().startsWith(QStringLiteral("Stopped after 41 of 160 tracks")),
             qPrintable(said.first()));
  }

  // Closing the window during a format asks; "Stop and close" ends the
  // format at a track boundary and the window closes once it has.
  void closingDuringAFormatAsks() {
    fake->hold_at_block(tessil::testing::FakePlatform::format_track(10));
    formatFromMenu({acceptFormatDialog, ModalScript::answerQuestion(true)}, false);
    QVERIFY(fake->wait_until_held());
    script.reset();
    QString asked;
    ModalScript close({[&](QWidget* modal) -> QString {
      auto* box = qobject_cast<QMessageBox*>(modal);
      if (!box) return QStringLiteral("no close question");
      asked = box->text();
      for (QAbstractButton* button : box->buttons())
        if (button->text() == QStringLiteral("Stop and close")) button->click();
      return {};
    }});
    QVERIFY(!form->close());
    fake->release();
    QVERIFY2(close.succeeded(), qPrintable(close.report()));
    QCOMPARE(asked, QStringLiteral("Formatting the disk in drive A, 3 %"));
    QTRY_VERIFY_WITH_TIMEOUT(!form->isVisible(), 20000);
    QCOMPARE(formatted(), 11);
    QCOMPARE(lines(), QStringList{"1 : 105 : User cancelled"});
  }
};

QTEST_MAIN(FormatTest)
#include "format_test.moc"
