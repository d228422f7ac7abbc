// The process's standard streams: whether a person is at them, how wide
// their terminal is, and where standard output goes.
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "platform/linux/debug_channel.h"
#include "platform/linux/linux_platform.h"

namespace tessil::platform::linux_os {

namespace {

int descriptor_of(StandardStream stream) {
  switch (stream) {
    case StandardStream::input:
      return STDIN_FILENO;
    case StandardStream::output:
      return STDOUT_FILENO;
    case StandardStream::error:
      break;
  }
  return STDERR_FILENO;
}

}  // namespace

bool LinuxPlatform::is_terminal(StandardStream stream) {
  return ::isatty(descriptor_of(stream)) != 0;
}

std::optional<int> LinuxPlatform::terminal_width(StandardStream stream) {
  winsize size{};
  if (::ioctl(descriptor_of(stream), TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
    return std::nullopt;
  return size.ws_col;
}

InputWait LinuxPlatform::wait_for_input(std::chrono::milliseconds timeout, bool watch_input) {
  const int milliseconds = static_cast<int>(timeout.count());
  if (!watch_input) {
    ::poll(nullptr, 0, milliseconds);  // a signal ends it early, as it should
    return InputWait::closed;
  }
  pollfd input{STDIN_FILENO, POLLIN, 0};
  if (::poll(&input, 1, milliseconds) <= 0) return InputWait::quiet;
  char buffer[256];
  // The end of the input (or no input at all) is no line.
  return ::read(STDIN_FILENO, buffer, sizeof buffer) > 0 ? InputWait::line : InputWait::closed;
}

bool LinuxPlatform::route_standard_output_to_debug() {
  const UniqueFd destination = open_debug_destination();
  if (!destination) return false;
  std::fflush(stdout);
  return ::dup2(destination.get(), STDOUT_FILENO) == STDOUT_FILENO;
}

}  // namespace tessil::platform::linux_os
