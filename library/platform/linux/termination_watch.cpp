// SIGINT and SIGTERM taken over for a watch. The handler does only what is
// safe in a signal handler: it raises a lock-free flag and writes the
// signal's number into a pipe that an event loop can wait on.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>

#include "platform/linux/linux_platform.h"
#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

namespace {

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);
constinit std::atomic<bool> watching{false};
constinit std::atomic<bool> request_flag{false};
constinit std::atomic<int> pipe_write_end{-1};

constexpr std::array<int, 2> termination_signals{SIGINT, SIGTERM};

extern "C" void on_termination_signal(int number) {
  const int saved_errno = errno;
  request_flag.store(true, std::memory_order_relaxed);
  // A full pipe holds requests already; dropping this one loses nothing.
  if (const int fd = pipe_write_end.load(std::memory_order_relaxed); fd >= 0) {
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t ignored = ::write(fd, &byte, 1);
  }
  errno = saved_errno;
}

class LinuxTerminationWatch final : public TerminationWatch {
 public:
  LinuxTerminationWatch(UniqueFd read_end, UniqueFd write_end)
      : read_end_(std::move(read_end)), write_end_(std::move(write_end)) {
    request_flag.store(false, std::memory_order_relaxed);
    pipe_write_end.store(write_end_.get());
  }
  ~LinuxTerminationWatch() override {
    for (std::size_t i = 0; i < termination_signals.size(); ++i)
      if (taken_[i]) ::sigaction(termination_signals[i], &previous_[i], nullptr);
    pipe_write_end.store(-1);
    watching.store(false);
  }
  LinuxTerminationWatch(const LinuxTerminationWatch&) = delete;
  LinuxTerminationWatch& operator=(const LinuxTerminationWatch&) = delete;

  // False when a signal could not be taken over.
  bool take_over(WhenIgnored ignored) {
    struct sigaction action {};
    action.sa_handler = on_termination_signal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls go on; the program looks at the flag itself.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < termination_signals.size(); ++i) {
      const int number = termination_signals[i];
      if (::sigaction(number, nullptr, &previous_[i]) != 0) return false;
      if (ignored == WhenIgnored::leave_ignored && previous_[i].sa_handler == SIG_IGN) continue;
      if (::sigaction(number, &action, nullptr) != 0) return false;
      taken_[i] = true;
    }
    return true;
  }

  bool requested() const override { return request_flag.load(std::memory_order_relaxed); }
  int event_descriptor() const override { return read_end_.get(); }

  std::vector<int> take_requests() override {
    std::vector<int> numbers;
    unsigned char bytes[16];
    for (;;) {
      const ssize_t n = ::read(read_end_.get(), bytes, sizeof bytes);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      numbers.insert(numbers.end(), bytes, bytes + n);
    }
    return numbers;
  }

 private:
  UniqueFd read_end_;
  UniqueFd write_end_;
  std::array<struct sigaction, termination_signals.size()> previous_{};
  std::array<bool, termination_signals.size()> taken_{};
};

}  // namespace

std::unique_ptr<TerminationWatch> LinuxPlatform::watch_termination(WhenIgnored ignored) {
  if (watching.exchange(true)) return nullptr;
  int ends[2] = {-1, -1};
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
    watching.store(false);
    return nullptr;
  }
  auto watch = std::make_unique<LinuxTerminationWatch>(UniqueFd(ends[0]), UniqueFd(ends[1]));
  if (!watch->take_over(ignored)) return nullptr;
  return watch;
}

}  // namespace tessil::platform::linux_os
