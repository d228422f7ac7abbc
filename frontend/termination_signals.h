// SIGTERM and SIGINT, delivered on the window's thread. The handler only
// writes the signal's number into a pipe; a socket notifier reads it there,
// so the window can stop a running copy and close as it would when asked,
// instead of the process ending in the middle of a block.
#pragma once

#include <QObject>
#include <csignal>

class QSocketNotifier;

class TerminationSignals : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers; the previous ones come back with the destructor.
  // One instance at a time.
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // False when the pipe or a handler could not be set up; the signals then
  // keep their previous effect.
  bool installed() const { return installed_; }

 signals:
  void received(int signal_number);

 private:
  void drain();

  int pipe_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
  struct sigaction previous_term_ {};
  struct sigaction previous_int_ {};
  bool installed_ = false;
};
