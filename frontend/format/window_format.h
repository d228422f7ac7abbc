// "Format disk…" from the Disk menu: the drive's formats in a dialog, the
// question, then the format on a thread of its own while the main window's
// progress bar follows it and a small window offers Cancel. The end is one
// line in the message list, as any job's; what went wrong in detail is
// shown in a box.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class FormatRun;
class MessageLog;
class QDialog;
class QPushButton;
class QTimer;
class QWidget;

class WindowFormat : public QObject {
  Q_OBJECT

 public:
  // `show_progress(percent)` moves the main window's progress bar.
  WindowFormat(QWidget& window, MessageLog& log, std::function<void(int)> show_progress);
  ~WindowFormat() override;

  // Asks how to format the disk in `drive`, then whether to, and starts.
  void ask(QChar drive);

  bool running() const;
  // The format ends before its next track. `quietly`: the window is
  // closing, and its end is only written to the message list.
  void stop(bool quietly = false);
  // "Formatting the disk in drive A, 42 %", for the main window's question.
  QString runningText() const;

 signals:
  // The format ended and its line is in the message list.
  void finished();

 private:
  void start(QChar drive, const QString& format_name);
  void look();
  void showEnd();

  QWidget& window_;
  MessageLog& log_;
  std::function<void(int)> show_progress_;
  std::unique_ptr<FormatRun> run_;
  QTimer* timer_;
  QPointer<QDialog> progress_;  // while a format runs
  QPushButton* cancel_ = nullptr;
  bool quiet_ = false;
};
