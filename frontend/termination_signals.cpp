#include "termination_signals.h"

#include <QSocketNotifier>

#include "platform/platform.h"

namespace platform = tessil::platform;

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  // A request the program was started to ignore (nohup, a background job)
  // stays ignored.
  watch_ = platform::current().watch_termination(platform::WhenIgnored::leave_ignored);
  if (watch_ && watch_->event_descriptor() < 0) watch_.reset();
  if (!watch_) return;
  notifier_ = std::make_unique<QSocketNotifier>(watch_->event_descriptor(), QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &TerminationSignals::drain);
}

TerminationSignals::~TerminationSignals() = default;

void TerminationSignals::drain() {
  for (const int number : watch_->take_requests()) emit received(number);
}
