// The one place where a system error number becomes a platform::Error, and
// the one positioned read loop that reports it.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "platform/platform.h"

namespace tessil::platform::linux_os {

constexpr Error error_from_errno(int code) noexcept {
  switch (code) {
    case 0:
      return Error::none;
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
      return Error::not_found;
    case ENXIO:  // the floppy driver's answer for an empty drive
    case ENOMEDIUM:
      return Error::no_medium;
    case EACCES:
    case EPERM:
      return Error::access_denied;
    case EBUSY:  // mounted, or opened exclusively elsewhere
      return Error::busy;
    case EROFS:
      return Error::read_only;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return Error::no_space;
    case EIO:
      return Error::io;
    case EEXIST:
      return Error::exists;
    default:
      return Error::other;
  }
}

// Reads `size` bytes at `offset`, going on after a signal or a short read,
// and says whether it stopped at the end of the medium or at a failure.
inline ReadResult read_fully_at(int fd, std::byte* data, std::size_t size, off_t offset) {
  ReadResult result;
  while (result.count < size) {
    const ssize_t n = ::pread(fd, data + result.count, size - result.count,
                              offset + static_cast<off_t>(result.count));
    if (n > 0) {
      result.count += static_cast<std::size_t>(n);
    } else if (n == 0) {
      result.end = true;
      break;
    } else if (errno != EINTR) {
      result.error = error_from_errno(errno);
      if (result.error == Error::none) result.error = Error::io;
      break;
    }
  }
  return result;
}

}  // namespace tessil::platform::linux_os
