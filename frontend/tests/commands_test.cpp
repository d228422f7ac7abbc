// The four commands against a library in memory, answering Qt's own file
// dialog as a user would.
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "fake_backend.h"
#include "fake_link_opener.h"
#include "form1.h"
#include "form1_probe.h"
#include "modal_script.h"

class CommandsTest : public QObject, public Form1Probe {
  Q_OBJECT

 private:
  FakeBackend backend;
  FakeLinkOpener links;
  QTemporaryDir dir;

  QString path(const char* name) { return dir.filePath(QLatin1String(name)); }

 private slots:
  void initTestCase() {
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QVERIFY(dir.isValid());
  }
  void init() {
    backend = FakeBackend();
    QVERIFY(openForm(backend, links));
  }
  void cleanup() { form.reset(); }

  void invalidDriveIsRefusedWithoutDialog_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("drive");
    for (const char* button : {"Command1", "Command2", "Command3"}) {
      for (const char* drive : {"a", "A:", "C", "", " A", "A ", "AB"}) {
        QTest::addRow("%s \"%s\"", button, drive)
            << QString::fromLatin1(button) << QString::fromLatin1(drive);
      }
    }
  }
  void invalidDriveIsRefusedWithoutDialog() {
    QFETCH(QString, button);
    QFETCH(QString, drive);
    setDrive(drive);
    const QStringList labels_before = geometryLabels();
    ModalScript script;
    press(button);
    QVERIFY2(script.succeeded(), qPrintable(script.report()));
    QCOMPARE(lines(), QStringList{"1 : 2 : Invalid drive selection"});
    QCOMPARE(geometryLabels(), labels_before);
    QCOMPARE(labelBox()->text(), QStringLiteral("My floppy image"));
    QVERIFY(!form->timer().isActive());
    QVERIFY(!backend.calls.contains(QStringLiteral("getdriveinfo")));
    QVERIFY(!backend.calls.contains(QStringLiteral("readdisk")));
    QVERIFY(!backend.calls.contains(QStringLiteral("writedisk")));
  }

  void diskInformation_data() {
    QTest::addColumn<QString>("drive");
    QTest::addColumn<int>("result");
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QString>("line");
    QTest::newRow("1.44 MB in A") << "A" << 1 << QList<int>{80, 2, 18, 512, 1474560}
                                  << QStringList{"Cylinders : 80", "Tracks/cylinder : 2",
                                                 "Sectors/track : 18", "Bytes/sector : 512",
                                                 "Disk space : 1474560"}
                                  << "1 : 0 : Done";
    QTest::newRow("720 KB in B") << "B" << 1 << QList<int>{80, 2, 9, 512, 737280}
                                 << QStringList{"Cylinders : 80", "Tracks/cylinder : 2",
                                                "Sectors/track : 9", "Bytes/sector : 512",
                                                "Disk space : 737280"}
                                 << "1 : 0 : Done";
    QTest::newRow("empty drive") << "A" << 0 << QList<int>{0, 0, 0, 0, 0}
                                 << QStringList{"Cylinders : 0", "Tracks/cylinder : 0",
                                                "Sectors/track : 0", "Bytes/sector : 0",
                                                "Disk space : 0"}
                                 << "1 : 1 : Drive is empty";
    // Only exactly 1 counts as success; the values are shown all the same.
    QTest::newRow("result 2") << "A" << 2 << QList<int>{1, 2, 3, 4, -5}
                              << QStringList{"Cylinders : 1", "Tracks/cylinder : 2",
                                             "Sectors/track : 3", "Bytes/sector : 4",
                                             "Disk space : -5"}
                              << "1 : 1 : Drive is empty";
    QTest::newRow("result -1") << "B" << -1 << QList<int>{0, 0, 0, 0, 0}
                               << QStringList{"Cylinders : 0", "Tracks/cylinder : 0",
                                              "Sectors/track : 0", "Bytes/sector : 0",
                                              "Disk space : 0"}
                               << "1 : 1 : Drive is empty";
  }
  void diskInformation() {
    QFETCH(QString, drive);
    QFETCH(int, result);
    QFETCH(QList<int>, values);
    QFETCH(QStringList, labels);
    QFETCH(QString, line);
    backend.drives[drive] = {result, {values[0], values[1], values[2], values[3], values[4]}};
    setDrive(drive);
    press(QStringLiteral("Command1"));
    QCOMPARE(backend.last_drive, drive);
    QCOMPARE(geometryLabels(), labels);
    QCOMPARE(lines(), QStringList{line});
  }

  void busyRefusesReadAndWriteButNotTheQuery() {
    backend.busy = 1;
    for (const char* button : {"Command2", "Command3"}) {
      ModalScript script;
      press(QLatin1String(button));
      QVERIFY2(script.succeeded(), qPrintable(script.report()));
    }
    press(QStringLiteral("Command1"));
    const QStringList expected{"1 : 3 : Already running call cancel first",
                               "2 : 3 : Already running call cancel first", "3 : 0 : Done"};
    QCOMPARE(lines(), expected);
    QCOMPARE(geometryLabels().last(), QStringLiteral("Disk space : 1474560"));
    QVERIFY(!backend.calls.contains(QStringLiteral("readdisk")));
    QVERIFY(!backend.calls.contains(QStringLiteral("writedisk")));
  }

  void busyTestComesBeforeTheDriveTest() {
    backend.busy = 1;
    setDrive(QStringLiteral("C"));
    press(QStringLiteral("Command2"));
    QCOMPARE(lines(), QStringList{"1 : 3 : Already running call cancel first"});
  }

  void readStartsTheJobAndPolling() {
    setDrive(QStringLiteral("B"));
    labelBox()->setText(QStringLiteral("Backup 1"));
    child<QProgressBar>(QStringLiteral("ProgressBar1"))->setValue(44);
    ModalScript script({ModalScript::acceptFile(path("new.img"),
                                                QStringLiteral("Select the image file to save"))});
    press(QStringLiteral("Command2"));
    QVERIFY2(script.succeeded(), qPrintable(script.report()));
    QCOMPARE(backend.last_drive, QStringLiteral("B"));
    QCOMPARE(backend.last_path, path("new.img"));
    QCOMPARE(backend.last_label, QStringLiteral("Backup 1"));
    QVERIFY(form->timer().isActive());
    QCOMPARE(lines(), QStringList());
    // Starting leaves the bar alone; the first tick moves it.
    QCOMPARE(child<QProgressBar>(QStringLiteral("ProgressBar1"))->value(), 44);
    QCOMPARE(form->commonDialog().dialog().acceptMode(), QFileDialog::AcceptSave);
  }

  void cancelledDialogChangesNothing_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("title");
    QTest::newRow("read") << "Command2"
                          << "Select the image file to save";
    QTest::newRow("write") << "Command3"
                           << "Select the image file to write to the floppy";
  }
  void cancelledDialogChangesNothing() {
    QFETCH(QString, button);
    QFETCH(QString, title);
    ModalScript script({ModalScript::rejectDialog(title)});
    press(button);
    QVERIFY2(script.succeeded(), qPrintable(script.report()));
    QCOMPARE(lines(), QStringList());
    QCOMPARE(labelBox()->text(), QStringLiteral("My floppy image"));
    QVERIFY(!form->timer().isActive());
    QCOMPARE(backend.calls, QStringList{"retvalue"});
  }

  void refusedStartAfterTheDialogIsLogged_data() {
    QTest::addColumn<QString>("button");
    QTest::newRow("read") << "Command2";
    QTest::newRow("write") << "Command3";
  }
  void refusedStartAfterTheDialogIsLogged() {
    QFETCH(QString, button);
    backend.start_result = 1;
    backend.image_labels[path("x.img")] = QStringLiteral("stored");
    ModalScript script({ModalScript::acceptFile(path("x.img"))});
    press(button);
    QVERIFY2(script.succeeded(), qPrintable(script.report()));
    QCOMPARE(lines(), QStringList{"1 : 3 : Already running call cancel first"});
    QVERIFY(!form->timer().isActive());
    // The write command has already shown the stored label by then.
    if (button == QLatin1String("Command3")) QCOMPARE(labelBox()->text(), QStringLiteral("stored"));
  }

  void writeShowsTheStoredLabel_data() {
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("label") << true << "My floppy image"
                           << "My floppy image";
    QTest::newRow("empty label") << true << ""
                                 << "";
    QTest::newRow("non-ASCII label") << true << "Disquete nº 2 ção"
                                     << "Disquete nº 2 ção";
    QTest::newRow("unreadable file") << false << "" << QString(300, QLatin1Char(' '));
  }
  void writeShowsTheStoredLabel() {
    QFETCH(bool, readable);
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    const QString image = path("stored.img");
    if (readable) backend.image_labels[image] = stored;
    setDrive(QStringLiteral("B"));
    ModalScript script({ModalScript::acceptFile(
        image, QStringLiteral("Select the image file to write to the floppy"))});
    press(QStringLiteral("Command3"));
    QVERIFY2(script.succeeded(), qPrintable(script.report()));
    QCOMPARE(backend.label_buffer_received, QString(300, QLatin1Char(' ')));
    QCOMPARE(labelBox()->text(), shown);
    QCOMPARE(backend.calls.filter(QStringLiteral("writedisk")).size(), 1);
    QCOMPARE(backend.last_drive, QStringLiteral("B"));
    QCOMPARE(backend.last_path, image);
    QVERIFY(form->timer().isActive());
    QCOMPARE(form->commonDialog().dialog().acceptMode(), QFileDialog::AcceptOpen);
    // The write job's outcome comes from the tick.
    backend.finish(readable ? 0 : 106, readable ? 100 : 0);
    form->tick();
    QCOMPARE(lines(), QStringList{readable ? "1 : 0 : Done"
                                           : "1 : 106 : Unable to open image file to read"});
  }

  // One dialog serves both commands, lists every file and offers the name
  // chosen last.
  void oneDialogRemembersTheLastName() {
    ModalScript first({ModalScript::acceptFile(path("first.img"))});
    press(QStringLiteral("Command2"));
    QVERIFY2(first.succeeded(), qPrintable(first.report()));
    backend.finish(0);
    form->tick();

    QString offered;
    ModalScript second({[&offered](QWidget* modal) -> QString {
      auto* edit = modal->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      if (!edit) return QStringLiteral("no fileNameEdit");
      offered = edit->text();
      static_cast<QDialog*>(modal)->reject();
      return {};
    }});
    press(QStringLiteral("Command3"));
    QVERIFY2(second.succeeded(), qPrintable(second.report()));
    QCOMPARE(offered, QStringLiteral("first.img"));
    QCOMPARE(form->findChildren<QFileDialog*>().size(), 1);
    QFileDialog& dialog = form->commonDialog().dialog();
    QCOMPARE(dialog.objectName(), QStringLiteral("CommonDialog1"));
    QVERIFY(dialog.defaultSuffix().isEmpty());
    QVERIFY(dialog.nameFilters().size() <= 1);
    QVERIFY(dialog.nameFilters().isEmpty() ||
            dialog.nameFilters().first().contains(QLatin1String("(*)")));
  }

  // Replacing an existing file needs the user's yes; a no leaves the dialog
  // open, and cancelling it then starts nothing.
  void saveAsksBeforeReplacing_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
  }
  void saveAsksBeforeReplacing() {
    QFETCH(bool, yes);
    const QString existing = path("existing.img");
    QFile file(existing);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();
    QList<ModalScript::Answer> answers{ModalScript::acceptFile(existing),
                                       ModalScript::answerQuestion(yes)};
    if (!yes) answers << ModalScript::rejectDialog();
    ModalScript script(answers);
    press(QStringLiteral("Command2"));
    QVERIFY2(script.succeeded(), qPrintable(script.report()));
    QCOMPARE(backend.calls.contains(QStringLiteral("readdisk")), yes);
    QCOMPARE(form->timer().isActive(), yes);
    QCOMPARE(lines(), QStringList());
  }

  void cancelAsksTheLibraryOnly() {
    press(QStringLiteral("Command4"));
    QCOMPARE(backend.calls, QStringList{"intcancel"});
    QCOMPARE(lines(), QStringList());
    QVERIFY(!form->timer().isActive());
    // The Esc key does not press it.
    QTest::keyClick(form.get(), Qt::Key_Escape);
    QCOMPARE(backend.calls, QStringList{"intcancel"});
  }

  void cancelDuringAJobEndsInUserCancelled() {
    ModalScript script({ModalScript::acceptFile(path("cancel.img"))});
    press(QStringLiteral("Command2"));
    QVERIFY2(script.succeeded(), qPrintable(script.report()));
    form->tick();
    press(QStringLiteral("Command4"));
    form->tick();
    QCOMPARE(lines(), QStringList{"1 : 105 : User cancelled"});
    QVERIFY(!form->timer().isActive());
  }

  // The library keeps 299 bytes of a label. What the user types or pastes
  // stops there, counted in the bytes the library gets; a label read back
  // from an image is shown whole but passed on cut.
  void labelIsKeptWithinTheLibraryField_data() {
    QTest::addColumn<bool>("pasted");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::newRow("short") << false << "Short"
                           << "Short";
    QTest::newRow("299 bytes typed") << false << QString(299, u'x') << QString(299, u'x');
    QTest::newRow("300 bytes typed") << false << QString(300, u'x') << QString(299, u'x');
    QTest::newRow("310 bytes pasted") << true << QString(310, u'y') << QString(299, u'y');
    QTest::newRow("two-byte letters") << true << QString(200, u'é') << QString(149, u'é');
    QTest::newRow("three-byte signs") << true << QString(120, u'€') << QString(99, u'€');
    QTest::newRow("four-byte pairs")
        << true << QString::fromUtf8("😀").repeated(80) << QString::fromUtf8("😀").repeated(74);
  }
  void labelIsKeptWithinTheLibraryField() {
    QFETCH(bool, pasted);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    QLineEdit* box = labelBox();
    box->clear();
    box->setFocus();
    if (pasted) {
      QGuiApplication::clipboard()->setText(typed);
      box->paste();
    } else {
      QTest::keyClicks(box, typed);
    }
    QCOMPARE(box->text(), kept);
    QVERIFY(box->text().toLocal8Bit().size() <= 299);

    ModalScript script({ModalScript::acceptFile(path("label.img"))});
    press(QStringLiteral("Command2"));
    QVERIFY2(script.succeeded(), qPrintable(script.report()));
    QCOMPARE(backend.last_label, kept);
  }

  void blankLabelReadBackIsPassedOnCut() {
    ModalScript write({ModalScript::acceptFile(path("unreadable.img"))});
    press(QStringLiteral("Command3"));
    QVERIFY2(write.succeeded(), qPrintable(write.report()));
    QCOMPARE(labelBox()->text().size(), 300);
    backend.finish(106, 0);
    form->tick();

    ModalScript read({ModalScript::acceptFile(path("fresh.img"))});
    press(QStringLiteral("Command2"));
    QVERIFY2(read.succeeded(), qPrintable(read.report()));
    QCOMPARE(backend.last_label, QString(299, QLatin1Char(' ')));
  }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
