// Keeps the main window from abandoning a running copy. Closing it while a
// job runs asks first; "Stop and close" cancels the job and closes only once
// the poll has reported the job's outcome, so a disk is never left with a
// block half-written and an image never ends without its outcome line.
// Before the window goes, the outcome line and where the copy stopped are
// shown in a box ("StoppedCopy") whose OK closes the window, and written to
// standard error; a stop by signal waits for nobody and only writes them.
#pragma once

#include <QPointer>
#include <QString>
#include <cstdint>

class ImagingBackend;
class MessageLog;
class QMessageBox;
class QPushButton;
class QTimer;
class QWidget;

class CloseGuard {
 public:
  enum class Job { unknown, reading, writing, verifying };

  // `poll_timer` runs while a started job has not been reported yet.
  // `log` holds the outcome line once a job is reported.
  CloseGuard(QWidget& window, ImagingBackend& backend, QTimer& poll_timer, const MessageLog& log);

  // The window started a job; the question names it.
  void jobStarted(Job job, const QString& drive);

  // For the window's close event: true when it may close now. Asks while a
  // job runs; otherwise the window closes as it always did.
  bool mayClose();

  // Stop and close without asking, as a termination signal does: an open
  // question is answered "Stop and close", other dialogs are dismissed.
  void stopAndClose();

  // After each poll tick: closes the window once a stopped job is reported,
  // and keeps an open question's percentage current.
  void afterTick();

  // A stop was asked for and the window closes once the job is reported:
  // no new job may follow it.
  bool stopping() const { return stopping_; }

  // What the question says runs, e.g. "Writing the image to drive A, 42 %".
  QString runningText() const;

 private:
  enum class Answer { keep, stop, moot };
  Answer ask();
  void beginStop();
  bool reported() const;
  void reportStop();
  QString stopPlace();

  QWidget& window_;
  ImagingBackend& backend_;
  QTimer& poll_timer_;
  const MessageLog& log_;
  Job job_ = Job::unknown;
  QString drive_;
  bool stopping_ = false;
  // The stop came from a signal: nobody is there to answer a box.
  bool by_signal_ = false;
  bool stop_reported_ = false;
  int32_t stop_percent_ = 0;
  // The question while it is open, and its "Stop and close" button.
  QPointer<QMessageBox> question_;
  QPushButton* stop_button_ = nullptr;
  bool moot_ = false;
};
