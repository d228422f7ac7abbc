#include "cancel_signals.h"

#include <signal.h>

#include <atomic>

namespace tessil::cli {

namespace {

// Set from a signal handler: only a lock-free atomic is safe there.
std::atomic<bool> cancel_flag{false};
static_assert(std::atomic<bool>::is_always_lock_free);

constexpr int cancel_signals[] = {SIGINT, SIGTERM};
struct sigaction previous[2];
int depth = 0;  // instances alive; only the main thread makes them

extern "C" void on_cancel_signal(int) {
  cancel_flag.store(true, std::memory_order_relaxed);
}

}  // namespace

CancelSignals::CancelSignals() {
  if (depth++ > 0) return;
  cancel_flag.store(false, std::memory_order_relaxed);
  struct sigaction action {};
  action.sa_handler = on_cancel_signal;
  sigemptyset(&action.sa_mask);
  // Interrupted system calls go on; the job notices the flag between blocks.
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < 2; ++i) sigaction(cancel_signals[i], &action, &previous[i]);
}

CancelSignals::~CancelSignals() {
  if (--depth > 0) return;
  for (int i = 0; i < 2; ++i) sigaction(cancel_signals[i], &previous[i], nullptr);
}

bool CancelSignals::requested() {
  return cancel_flag.load(std::memory_order_relaxed);
}

}  // namespace tessil::cli
