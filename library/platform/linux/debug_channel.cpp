#include "platform/linux/debug_channel.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <type_traits>

#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

namespace {

enum class Target : unsigned char { unread, silent, standard_error, file };

// Constant-initialised and never destroyed: the load notice may come before
// any constructor of this library ran, the unload notice after every
// destructor.
static_assert(std::is_trivially_destructible_v<std::mutex>);
constinit std::mutex channel_mutex;
constinit Target target = Target::unread;
constinit char target_path[PATH_MAX] = {};

// What TESSIL_DEBUG names, or nothing when it is unset, empty or too long.
const char* named_target() {
  const char* value = std::getenv("TESSIL_DEBUG");
  const std::size_t length = value ? std::strlen(value) : 0;
  return length == 0 || length >= sizeof target_path ? nullptr : value;
}

// Reads TESSIL_DEBUG; channel_mutex held.
void read_target() {
  const char* value = named_target();
  if (!value) {
    target = Target::silent;
  } else if (std::strcmp(value, "stderr") == 0) {
    target = Target::standard_error;
  } else {
    std::memcpy(target_path, value, std::strlen(value) + 1);
    target = Target::file;
  }
}

UniqueFd open_target_file(const char* path) {
  return open_fd(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0644);
}

void write_line(int fd, std::string_view line) {
  while (::write(fd, line.data(), line.size()) < 0 && errno == EINTR) {
  }
}

}  // namespace

void debug_write(std::string_view line) {
  if (line.empty()) return;
  const int saved_errno = errno;  // callers may be in the middle of a failure
  {
    const std::lock_guard lock(channel_mutex);
    if (target == Target::unread) read_target();
    if (target == Target::standard_error) {
      write_line(STDERR_FILENO, line);
    } else if (target == Target::file) {
      if (const UniqueFd fd = open_target_file(target_path)) write_line(fd.get(), line);
    }
  }
  errno = saved_errno;
}

UniqueFd open_debug_destination() {
  if (const char* value = named_target()) {
    if (std::strcmp(value, "stderr") == 0)
      return UniqueFd(::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0));
    if (UniqueFd fd = open_target_file(value)) return fd;
  }
  // A destination that cannot be opened is silence too.
  return open_fd("/dev/null", O_WRONLY | O_CLOEXEC);
}

void reread_debug_target_for_testing() {
  const std::lock_guard lock(channel_mutex);
  target = Target::unread;
}

}  // namespace tessil::platform::linux_os
