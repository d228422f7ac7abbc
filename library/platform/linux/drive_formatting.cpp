#include "platform/linux/drive_formatting.h"

#include <linux/fs.h>
#include <linux/major.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>

#include "platform/linux/controller_format.h"
#include "platform/linux/device_map.h"
#include "platform/linux/errno_map.h"
#include "platform/linux/ufi_format.h"
#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

namespace {

enum class FloppyKind { none, controller, usb };

FloppyKind floppy_kind(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISBLK(info.st_mode)) return FloppyKind::none;
  if (major(info.st_rdev) == FLOPPY_MAJOR) return FloppyKind::controller;
  return usb_floppy_disk(major(info.st_rdev), minor(info.st_rdev), system_sources())
             ? FloppyKind::usb
             : FloppyKind::none;
}

}  // namespace

std::unique_ptr<DiskFormatter> open_formatter(const std::string& path, Error& error) {
  switch (floppy_kind(path)) {
    case FloppyKind::controller:
      return controller_formatter(path, error);
    case FloppyKind::usb: {
      // Exclusive, so a mounted disk is refused; non-blocking, so that a
      // disk the drive cannot read yet still lets the drive be reached.
      UniqueFd fd = open_fd(path.c_str(), O_RDWR | O_EXCL | O_NONBLOCK | O_CLOEXEC);
      if (!fd) {
        error = error_from_errno(errno);
        return nullptr;
      }
      int read_only = 0;
      if (::ioctl(fd.get(), BLKROGET, &read_only) == 0 && read_only) {
        error = Error::read_only;
        return nullptr;
      }
      return ufi_formatter(std::move(fd), error);
    }
    case FloppyKind::none:
      break;
  }
  error = Error::other;
  return nullptr;
}

std::vector<const StandardFormat*> drive_formats(const std::string& path) {
  switch (floppy_kind(path)) {
    case FloppyKind::controller:
      return controller_formats(path);
    case FloppyKind::usb: {
      const UniqueFd fd = open_fd(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      return fd ? ufi_formats(fd.get()) : std::vector<const StandardFormat*>{};
    }
    case FloppyKind::none:
      break;
  }
  return {};
}

}  // namespace tessil::platform::linux_os
