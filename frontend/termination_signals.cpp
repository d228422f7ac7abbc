#include "termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <utility>

namespace {

// The write end, for the handler.
std::atomic<int> write_end{-1};

extern "C" void on_termination_signal(int signal_number) {
  const int saved_errno = errno;
  const int fd = write_end.load(std::memory_order_relaxed);
  // A full pipe already holds a request; dropping this one loses nothing.
  if (fd >= 0) {
    const unsigned char byte = static_cast<unsigned char>(signal_number);
    [[maybe_unused]] const ssize_t ignored = ::write(fd, &byte, 1);
  }
  errno = saved_errno;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  write_end.store(pipe_[1]);
  notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::drain);

  struct sigaction action {};
  action.sa_handler = on_termination_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  installed_ = true;
  for (auto [number, previous] : {std::pair{SIGTERM, &previous_term_}, {SIGINT, &previous_int_}}) {
    installed_ = ::sigaction(number, &action, previous) == 0 && installed_;
    // A signal the program was started to ignore (nohup, a background job)
    // stays ignored.
    if (previous->sa_handler == SIG_IGN) ::sigaction(number, previous, nullptr);
  }
}

TerminationSignals::~TerminationSignals() {
  if (installed_) {
    ::sigaction(SIGTERM, &previous_term_, nullptr);
    ::sigaction(SIGINT, &previous_int_, nullptr);
  }
  write_end.store(-1);
  delete notifier_;
  for (int fd : pipe_)
    if (fd >= 0) ::close(fd);
}

void TerminationSignals::drain() {
  unsigned char bytes[16];
  ssize_t n = 0;
  while ((n = ::read(pipe_[0], bytes, sizeof bytes)) > 0)
    for (ssize_t i = 0; i < n; ++i) emit received(bytes[i]);
}
