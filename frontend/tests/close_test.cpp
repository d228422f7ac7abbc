// Closing the main window while a job runs, against a library in memory
// that holds its job until the test ends it; and the termination signals,
// which stop and close without asking.
#include <QAction>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>

#include "fake_backend.h"
#include "fake_link_opener.h"
#include "form1.h"
#include "form1_probe.h"
#include "form2.h"
#include "modal_script.h"
#include "termination_signals.h"

namespace {

const QString stop_and_close = QStringLiteral("Stop and close");
const QString keep_copying = QStringLiteral("Keep copying");

// Checks that `modal` is the close question, notes its text and, unless
// `button` is empty, presses that button.
QString answerQuestion(QWidget* modal, const QString& button, QString* text) {
  auto* box = qobject_cast<QMessageBox*>(modal);
  if (!box)
    return QStringLiteral("expected the close question, got \"%1\"").arg(modal->windowTitle());
  if (text) *text = box->text();
  QStringList buttons;
  for (QAbstractButton* b : box->buttons()) buttons << b->text();
  buttons.sort();
  if (buttons != QStringList{keep_copying, stop_and_close})
    return QStringLiteral("buttons \"%1\"").arg(buttons.join(QStringLiteral("\", \"")));
  if (!box->defaultButton() || box->defaultButton()->text() != keep_copying)
    return QStringLiteral("\"Keep copying\" is not the default");
  for (QAbstractButton* b : box->buttons())
    if (b->text() == button) b->click();
  return {};
}

ModalScript::Answer answerWith(const QString& button, QString* text = nullptr) {
  return [button, text](QWidget* modal) { return answerQuestion(modal, button, text); };
}

}  // namespace

class CloseTest : public QObject, public Form1Probe {
  Q_OBJECT

 private:
  FakeBackend backend;
  FakeLinkOpener links;
  QTemporaryDir dir;

  // Starts a job on drive B from its command, as a user would, and lets one
  // tick show it at 42 %. The job runs until the test finishes it.
  bool startJob(const char* command) {
    setDrive(QStringLiteral("B"));
    ModalScript script({ModalScript::acceptFile(dir.filePath(QStringLiteral("job.img")))});
    press(QLatin1String(command));
    if (!script.succeeded()) qWarning("%s", qPrintable(script.report()));
    backend.cancel_ends_job = false;
    backend.percentage = 42;
    form->tick();
    return script.succeeded() && backend.busy == 1 && form->timer().isActive();
  }
  qsizetype cancels() const { return backend.calls.count(QStringLiteral("intcancel")); }
  QProgressBar* bar() const { return child<QProgressBar>(QStringLiteral("ProgressBar1")); }

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

  void withoutAJobTheWindowClosesAtOnce_data() {
    QTest::addColumn<bool>("afterAJob");
    QTest::newRow("no job yet") << false;
    QTest::newRow("job reported") << true;
  }
  void withoutAJobTheWindowClosesAtOnce() {
    QFETCH(bool, afterAJob);
    if (afterAJob) {
      QVERIFY(startJob("Command2"));
      backend.finish(0);
      form->tick();
    }
    ModalScript script;
    QVERIFY(form->close());
    QVERIFY2(script.succeeded(), qPrintable(script.report()));
    QVERIFY(!form->isVisible());
    QCOMPARE(cancels(), 0);
  }

  void keepCopyingLeavesTheJobRunning_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("question");
    QTest::newRow("read") << "Command2"
                          << "Reading drive B into the image, 42 %";
    QTest::newRow("write") << "Command3"
                           << "Writing the image to drive B, 42 %";
  }
  void keepCopyingLeavesTheJobRunning() {
    QFETCH(QString, command);
    QFETCH(QString, question);
    QVERIFY(startJob(qPrintable(command)));
    QString shown;
    ModalScript script({answerWith(keep_copying, &shown)});
    QVERIFY(!form->close());
    QVERIFY2(script.succeeded(), qPrintable(script.report()));
    QCOMPARE(shown, question);
    QVERIFY(form->isVisible());
    QCOMPARE(cancels(), 0);
    QVERIFY(form->timer().isActive());
    // The job is still followed and reported as usual.
    backend.finish(0);
    form->tick();
    QCOMPARE(lines(), QStringList{"1 : 0 : Done"});
    QVERIFY(form->isVisible());
  }

  // The window stays, and keeps showing the job, until its outcome is
  // reported; closing it again meanwhile asks nothing. Then a box shows the
  // outcome and where the copy stopped, and its OK closes the window. With
  // no geometry from the drive, only the percentage is told. Where it stopped
  // is as far as the job had come at the cancel.
  void stopAndCloseWaitsForTheJobsOutcome_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("geometryResult");
    QTest::addColumn<QString>("place");
    QTest::newRow("write") << "Command3" << 1
                           << "Stopped at about sector 1,209 of 2,880 (42 %): the disk in drive B "
                              "holds the new image up to there and its old data after.";
    QTest::newRow("read, drive gone quiet")
        << "Command2" << 0
        << "Stopped at about 42 % of the disk: the image file is incomplete, it holds the disk "
           "only up to there.";
  }
  void stopAndCloseWaitsForTheJobsOutcome() {
    QFETCH(QString, command);
    QFETCH(int, geometryResult);
    QFETCH(QString, place);
    QVERIFY(startJob(qPrintable(command)));
    backend.drives[QStringLiteral("B")].result = geometryResult;
    {
      ModalScript script({answerWith(stop_and_close)});
      QVERIFY(!form->close());
      QVERIFY2(script.succeeded(), qPrintable(script.report()));
    }
    QCOMPARE(cancels(), 1);
    QVERIFY(form->isVisible());

    backend.percentage = 57;
    form->tick();
    QCOMPARE(bar()->value(), 57);
    {
      ModalScript no_question;
      QVERIFY(!form->close());
      QVERIFY2(no_question.succeeded(), qPrintable(no_question.report()));
    }
    QVERIFY(form->isVisible());
    QCOMPARE(lines(), QStringList());

    backend.finish(105, 57);
    QStringList shown;
    bool visible_under_box = false;
    ModalScript box({[this, &shown, &visible_under_box](QWidget* modal) {
      visible_under_box = form->isVisible();
      return ModalScript::acceptBox(QStringLiteral("StoppedCopy"), &shown)(modal);
    }});
    form->tick();
    QVERIFY2(box.succeeded(), qPrintable(box.report()));
    QVERIFY(visible_under_box);
    QCOMPARE(shown, (QStringList{QStringLiteral("1 : 105 : User cancelled"), place}));
    QCOMPARE(lines(), QStringList{"1 : 105 : User cancelled"});
    QVERIFY(!form->isVisible());
    QCOMPARE(cancels(), 1);
  }

  // The open question follows the job; once the job has ended and been
  // reported on its own, it goes away and the window closes.
  void aJobEndingDuringTheQuestionLetsTheWindowClose() {
    QVERIFY(startJob("Command2"));
    QString followed;
    ModalScript script({[this, &followed](QWidget* modal) {
      backend.percentage = 88;
      form->tick();
      followed = static_cast<QMessageBox*>(modal)->text();
      backend.finish(0);
      form->tick();
      return QString();
    }});
    QVERIFY(form->close());
    QVERIFY2(script.succeeded(), qPrintable(script.report()));
    QCOMPARE(followed, QStringLiteral("Reading drive B into the image, 88 %"));
    QCOMPARE(lines(), QStringList{"1 : 0 : Done"});
    QVERIFY(!form->isVisible());
    QCOMPARE(cancels(), 0);
  }

  // What main() connects: a signal stops and closes with no question, also
  // when one is already open, and takes the about window along.
  void terminationSignalsStopAndCloseWithoutAsking_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("duringQuestion");
    QTest::newRow("SIGTERM") << SIGTERM << false;
    QTest::newRow("SIGINT") << SIGINT << false;
    QTest::newRow("SIGTERM while asking") << SIGTERM << true;
  }
  void terminationSignalsStopAndCloseWithoutAsking() {
    QFETCH(int, signalNumber);
    QFETCH(bool, duringQuestion);
    TerminationSignals termination;
    QVERIFY(termination.installed());
    connect(&termination, &TerminationSignals::received, form.get(), &Form1::stopAndClose);
    child<QAction>(QStringLiteral("about"))->trigger();
    QVERIFY(form->aboutWindow());
    QVERIFY(startJob("Command3"));

    if (duringQuestion) {
      ModalScript script({[signalNumber](QWidget* modal) {
        std::raise(signalNumber);
        return answerQuestion(modal, {}, nullptr);
      }});
      QVERIFY(!form->close());
      QVERIFY2(script.succeeded(), qPrintable(script.report()));
    } else {
      ModalScript no_question;
      std::raise(signalNumber);
      QTRY_COMPARE(cancels(), 1);
      QVERIFY2(no_question.succeeded(), qPrintable(no_question.report()));
    }
    QCOMPARE(cancels(), 1);
    QVERIFY(form->isVisible());
    QTRY_VERIFY(!form->aboutWindow());

    // Nobody is there to answer: no box, the window closes at once.
    backend.finish(105, 60);
    ModalScript no_box;
    form->tick();
    QVERIFY2(no_box.succeeded(), qPrintable(no_box.report()));
    QCOMPARE(lines(), QStringList{"1 : 105 : User cancelled"});
    QVERIFY(!form->isVisible());
  }

  // A signal while the box waits for its OK closes the window without it.
  void terminationSignalDismissesTheStoppedCopyBox() {
    TerminationSignals termination;
    connect(&termination, &TerminationSignals::received, form.get(), &Form1::stopAndClose);
    QVERIFY(startJob("Command3"));
    {
      ModalScript script({answerWith(stop_and_close)});
      QVERIFY(!form->close());
      QVERIFY2(script.succeeded(), qPrintable(script.report()));
    }
    backend.finish(105);
    ModalScript box({[](QWidget* modal) {
      std::raise(SIGTERM);
      return modal->objectName() == QLatin1String("StoppedCopy") ? QString() : modal->objectName();
    }});
    QElapsedTimer clock;
    clock.start();
    form->tick();
    // Well before the script's own timeout would have rejected the box.
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY2(box.succeeded(), qPrintable(box.report()));
    QTRY_VERIFY(!form->isVisible());
    QCOMPARE(lines(), QStringList{"1 : 105 : User cancelled"});
  }

  // With no job, a signal closes at once, even over an open file dialog.
  void terminationSignalWhileIdleClosesAtOnce() {
    TerminationSignals termination;
    connect(&termination, &TerminationSignals::received, form.get(), &Form1::stopAndClose);
    ModalScript script({[](QWidget*) {
      std::raise(SIGTERM);
      return QString();
    }});
    press(QStringLiteral("Command2"));
    QVERIFY2(script.succeeded(), qPrintable(script.report()));
    QTRY_VERIFY(!form->isVisible());
    QVERIFY(!backend.calls.contains(QStringLiteral("readdisk")));
    QCOMPARE(lines(), QStringList());
  }
};

QTEST_MAIN(CloseTest)
#include "close_test.moc"
