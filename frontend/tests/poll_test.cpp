// The tick of Timer1 and the numbered message list.
#include <QComboBox>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <climits>

#include "fake_backend.h"
#include "fake_link_opener.h"
#include "form1.h"
#include "form1_probe.h"

class PollTest : public QObject, public Form1Probe {
  Q_OBJECT

 private:
  FakeBackend backend;
  FakeLinkOpener links;
  int beeps = 0;
  bool timer_active_at_beep = true;

  QListWidget* list() { return child<QListWidget>(QStringLiteral("List1")); }
  QProgressBar* bar() { return child<QProgressBar>(QStringLiteral("ProgressBar1")); }
  // A job as a start command leaves it: accepted, with Timer1 running.
  void startJob() {
    backend.busy = 1;
    backend.percentage = 0;
    form->timer().start();
  }

 private slots:
  void init() {
    backend = FakeBackend();
    beeps = 0;
    form = std::make_unique<Form1>(backend, links, [this] {
      ++beeps;
      timer_active_at_beep = form->timer().isActive();
      backend.calls << QStringLiteral("beep");
    });
    form->fillDriveBox();
  }
  void cleanup() { form.reset(); }

  void resultCodeBecomesOneLine_data() {
    QTest::addColumn<int>("resultCode");
    QTest::addColumn<QString>("line");
    QTest::newRow("0") << 0 << "1 : 0 : Done";
    QTest::newRow("100") << 100 << "1 : 100 : No disk in drive";
    QTest::newRow("101") << 101 << "1 : 101 : Unable to open image file to write";
    QTest::newRow("102") << 102 << "1 : 102 : Unable to write to file";
    QTest::newRow("103") << 103 << "1 : 103 : Unable to open floppy to read";
    QTest::newRow("104") << 104 << "1 : 104 : Floppy disk is damaged";
    QTest::newRow("105") << 105 << "1 : 105 : User cancelled";
    QTest::newRow("106") << 106 << "1 : 106 : Unable to open image file to read";
    QTest::newRow("107") << 107 << "1 : 107 : Unable to read from file";
    QTest::newRow("108") << 108 << "1 : 108 : Image file and floppy don't match";
    QTest::newRow("109") << 109 << "1 : 109 : Unable to write to floppy, possible damaged";
    QTest::newRow("110") << 110 << "1 : 110 : Unable to write the image in the floppy";
    QTest::newRow("1") << 1 << "1 : 255 : Unexpected error";
    QTest::newRow("5") << 5 << "1 : 255 : Unexpected error";
    QTest::newRow("99") << 99 << "1 : 255 : Unexpected error";
    QTest::newRow("111") << 111 << "1 : 255 : Unexpected error";
    QTest::newRow("255") << 255 << "1 : 255 : Unexpected error";
    QTest::newRow("-1") << -1 << "1 : 255 : Unexpected error";
    QTest::newRow("INT_MIN") << INT_MIN << "1 : 255 : Unexpected error";
    QTest::newRow("INT_MAX") << INT_MAX << "1 : 255 : Unexpected error";
  }
  void resultCodeBecomesOneLine() {
    QFETCH(int, resultCode);
    QFETCH(QString, line);
    startJob();
    backend.finish(resultCode);
    form->tick();
    QCOMPARE(lines(), QStringList{line});
    QCOMPARE(list()->currentRow(), 0);
    QVERIFY(list()->currentItem()->isSelected());
  }

  void tickStepsRunInOrder() {
    startJob();
    backend.finish(0, 100);
    backend.calls.clear();
    form->tick();
    const QStringList expected{"getporcentage", "retvalue", "beep", "getreturnvalue"};
    QCOMPARE(backend.calls, expected);
    QVERIFY(!timer_active_at_beep);
    QVERIFY(!form->timer().isActive());
    QCOMPARE(bar()->value(), 100);
  }

  void busyTickOnlyMovesTheBar() {
    startJob();
    backend.percentage = 37;
    backend.calls.clear();
    form->tick();
    QCOMPARE(backend.calls, (QStringList{"getporcentage", "retvalue"}));
    QCOMPARE(bar()->value(), 37);
    QVERIFY(form->timer().isActive());
    QCOMPARE(list()->count(), 0);
    QCOMPARE(beeps, 0);
  }

  void progressOutsideTheRangeIsClamped_data() {
    QTest::addColumn<int>("reported");
    QTest::addColumn<int>("shown");
    QTest::newRow("negative") << -5 << 0;
    QTest::newRow("lowest") << INT_MIN << 0;
    QTest::newRow("zero") << 0 << 0;
    QTest::newRow("middle") << 50 << 50;
    QTest::newRow("full") << 100 << 100;
    QTest::newRow("above") << 101 << 100;
    QTest::newRow("double") << 200 << 100;
  }
  void progressOutsideTheRangeIsClamped() {
    QFETCH(int, reported);
    QFETCH(int, shown);
    bar()->setValue(63);
    startJob();
    backend.percentage = reported;
    form->tick();
    QCOMPARE(bar()->value(), shown);
  }

  // The bar keeps what the last tick read, even below 100 for a job that
  // ended well (it ended between the two reads); a failed job shows where
  // it was while it ran, not the library's closing 100, and an empty drive
  // 0.
  void barKeepsTheLastValueRead() {
    startJob();
    backend.percentage = 60;
    form->tick();
    backend.finish(0, 73);
    form->tick();
    QCOMPARE(bar()->value(), 73);

    startJob();
    backend.percentage = 20;
    form->tick();
    backend.finish(104, 100);
    form->tick();
    QCOMPARE(bar()->value(), 20);

    startJob();  // a new job starts with the bar where it was
    QCOMPARE(bar()->value(), 20);
    backend.finish(100, 0);
    form->tick();
    QCOMPARE(bar()->value(), 0);
    QCOMPARE(lines().last(), QStringLiteral("3 : 100 : No disk in drive"));
  }

  void jobEndingBeforeTheFirstTickIsReportedAtOnce() {
    bar()->setValue(12);
    startJob();
    backend.finish(0, 100);
    form->tick();
    QCOMPARE(bar()->value(), 100);
    QCOMPARE(lines(), QStringList{"1 : 0 : Done"});
  }

  void linesAreNumberedAcrossJobsAndCommands() {
    form->findChild<QComboBox*>(QStringLiteral("Combo1"))->setEditText(QStringLiteral("C"));
    QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    startJob();
    backend.finish(105);
    form->tick();
    startJob();
    backend.finish(0);
    form->tick();
    form->LogMessage(-7, QStringLiteral("negative"));
    const QStringList expected{"1 : 2 : Invalid drive selection", "2 : 105 : User cancelled",
                               "3 : 0 : Done", "4 : -7 : negative"};
    QCOMPARE(lines(), expected);
    QCOMPARE(list()->currentRow(), 3);
    QCOMPARE(beeps, 2);
  }

  // Driven by the real one-second timer: a finished job is reported once and
  // beeps once, and polling ends with it.
  void oneReportPerJob() {
    startJob();
    backend.percentage = 10;
    QTRY_COMPARE_WITH_TIMEOUT(bar()->value(), 10, 3000);
    backend.finish(0);
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 1, 3000);
    QTest::qWait(2500);
    QCOMPARE(list()->count(), 1);
    QCOMPARE(beeps, 1);
    QVERIFY(!form->timer().isActive());
  }

  // A job that finished and a new one accepted before the next tick: only
  // the running one is seen, and nothing is reported yet.
  void newJobBeforeTheTickHidesTheFirst() {
    startJob();
    backend.finish(0);
    startJob();
    backend.percentage = 5;
    form->tick();
    QCOMPARE(list()->count(), 0);
    QVERIFY(form->timer().isActive());
  }
};

QTEST_MAIN(PollTest)
#include "poll_test.moc"
