// The one place where a system error number becomes a platform::Error.
#pragma once

#include <cerrno>

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
    case EFBIG:
      return Error::no_space;
    case EIO:
      return Error::io;
    default:
      return Error::other;
  }
}

}  // namespace tessil::platform::linux_os
