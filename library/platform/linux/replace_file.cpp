#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/linux/errno_map.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

namespace {

Error write_all(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t n = ::write(fd, content.data(), content.size());
    if (n > 0) {
      content.remove_prefix(static_cast<std::size_t>(n));
    } else if (n == 0) {
      return Error::io;
    } else if (errno != EINTR) {
      return error_from_errno(errno);
    }
  }
  return Error::none;
}

Error sync_fd(int fd) {
  while (::fsync(fd) != 0)
    if (errno != EINTR) return error_from_errno(errno);
  return Error::none;
}

}  // namespace

// A new file beside the old one, made durable, then renamed over it: the
// rename is the one step, and the directory's sync makes it last.
Error LinuxPlatform::replace_file(const char* path, std::string_view content) {
  if (!path || !*path) return Error::not_found;
  const std::string temporary = std::string(path) + ".tmp";
  Error error = Error::none;
  {
    UniqueFd fd = open_fd(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (!fd) return error_from_errno(errno);
    error = write_all(fd.get(), content);
    if (error == Error::none) error = sync_fd(fd.get());
    if (error == Error::none && ::close(fd.release()) != 0 && errno != EINTR)
      error = error_from_errno(errno);
  }
  if (error == Error::none && ::rename(temporary.c_str(), path) != 0)
    error = error_from_errno(errno);
  if (error != Error::none) {
    ::unlink(temporary.c_str());
    return error;
  }
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (parent.empty()) parent = ".";
  if (UniqueFd directory = open_fd(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    sync_fd(directory.get());
  return Error::none;
}

}  // namespace tessil::platform::linux_os
