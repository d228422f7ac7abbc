// SIGTERM and SIGINT, delivered on the window's thread. The platform's watch
// only notes each request; a socket notifier picks it up in the event loop,
// so the window can stop a running copy and close as it would when asked,
// instead of the process ending in the middle of a block.
#pragma once

#include <QObject>
#include <memory>

#include "platform/termination_watch.h"

class QSocketNotifier;

class TerminationSignals : public QObject {
  Q_OBJECT

 public:
  // Takes the requests over; their previous effect comes back with the
  // destructor. One instance at a time.
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // False when the requests could not be taken over; they then keep their
  // previous effect.
  bool installed() const { return watch_ != nullptr; }

 signals:
  void received(int signal_number);

 private:
  void drain();

  std::unique_ptr<tessil::platform::TerminationWatch> watch_;
  // Reads the watch's descriptor: destroyed before the watch closes it.
  std::unique_ptr<QSocketNotifier> notifier_;
};
