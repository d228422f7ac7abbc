#include "app/cancel_signals.h"

#include <memory>

#include "platform/platform.h"

namespace tessil::app {

namespace {

// The outermost instance's watch; only the main thread makes instances.
std::unique_ptr<platform::TerminationWatch> watch;
int depth = 0;

}  // namespace

CancelSignals::CancelSignals() {
  if (depth++ > 0) return;
  // Taken over even when the program was started to ignore them: a cancel
  // must reach a job run in the background too.
  watch = platform::current().watch_termination(platform::WhenIgnored::take_over);
}

CancelSignals::~CancelSignals() {
  if (--depth > 0) return;
  watch.reset();
}

bool CancelSignals::requested() {
  return watch && watch->requested();
}

}  // namespace tessil::app
