#include "platform/linux/controller_format.h"

#include <linux/fd.h>
#include <linux/major.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>

#include "platform/linux/errno_map.h"
#include "platform/linux/floppy_params.h"
#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

namespace {

bool controller_drive(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISBLK(info.st_mode) && major(info.st_rdev) == FLOPPY_MAJOR;
}

FloppyDriveKind drive_kind(int fd) {
  floppy_drive_params drive{};
  if (::ioctl(fd, FDGETDRVPRM, &drive) != 0) return FloppyDriveKind::unknown;
  return floppy_drive_kind(drive.cmos);
}

// The driver gives up waiting when a signal comes (Ctrl-C, which the job
// takes as a stop between tracks), so a command cut short is sent again.
template <typename... Argument>
int controller_ioctl(int fd, unsigned long request, Argument... argument) {
  int result = 0;
  do {
    result = ::ioctl(fd, request, argument...);
  } while (result != 0 && errno == EINTR);
  return result;
}

Error last_error() {
  const Error error = error_from_errno(errno);
  return error == Error::none ? Error::other : error;
}

class ControllerFormatter final : public DiskFormatter {
 public:
  ControllerFormatter(UniqueFd fd, FloppyDriveKind kind) : fd_(std::move(fd)), kind_(kind) {}
  ~ControllerFormatter() override {
    if (begun_) ::ioctl(fd_.get(), FDFMTEND);
  }

  std::vector<const StandardFormat*> formats() override { return formats_for_drive(kind_); }

  Error begin(const StandardFormat& format) override {
    std::optional<floppy_struct> params = floppy_params(format, kind_);
    if (!params) return Error::other;
    // The parameters hold for this disk until it leaves the drive, so the
    // read-back and later jobs see the new format.
    if (controller_ioctl(fd_.get(), FDSETPRM, &*params) != 0) return last_error();
    if (controller_ioctl(fd_.get(), FDFMTBEG) != 0) return last_error();
    begun_ = true;
    return Error::none;
  }

  Error format_track(uint32_t cylinder, uint32_t head) override {
    format_descr track{0, head, cylinder};
    return controller_ioctl(fd_.get(), FDFMTTRK, &track) == 0 ? Error::none : last_error();
  }

  Error end() override {
    begun_ = false;
    // Also drops whatever the driver kept of the disk as it was.
    return controller_ioctl(fd_.get(), FDFMTEND) == 0 ? Error::none : last_error();
  }

 private:
  UniqueFd fd_;
  FloppyDriveKind kind_;
  bool begun_ = false;
};

}  // namespace

std::vector<const StandardFormat*> controller_formats(const std::string& path) {
  const UniqueFd fd = open_fd(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (!fd || !controller_drive(fd.get())) return {};
  return formats_for_drive(drive_kind(fd.get()));
}

std::unique_ptr<DiskFormatter> controller_formatter(const std::string& path, Error& error) {
  // Non-blocking: a disk that was never formatted fails the driver's look
  // at it, and a blocking open would fail with it.
  UniqueFd fd = open_fd(path.c_str(), O_RDWR | O_EXCL | O_NONBLOCK | O_CLOEXEC);
  if (!fd) {
    error = last_error();
    return nullptr;
  }
  const FloppyDriveKind kind = drive_kind(fd.get());
  if (!controller_drive(fd.get()) || kind == FloppyDriveKind::unknown) {
    error = Error::other;
    return nullptr;
  }
  floppy_drive_struct state{};
  if (::ioctl(fd.get(), FDPOLLDRVSTAT, &state) != 0) {
    error = last_error();
    return nullptr;
  }
  // A disk just put in still shows the change until the driver has looked
  // at the drive, which a blocking open does (and fails only when it is
  // empty; a disk with no format yet may fail it otherwise, and is there).
  if (state.flags & FD_DISK_CHANGED) {
    open_fd(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (::ioctl(fd.get(), FDPOLLDRVSTAT, &state) != 0) {
      error = last_error();
      return nullptr;
    }
  }
  if (state.flags & FD_DISK_CHANGED) {
    error = Error::no_medium;
    return nullptr;
  }
  if (!(state.flags & FD_DISK_WRITABLE)) {
    error = Error::read_only;
    return nullptr;
  }
  error = Error::none;
  return std::make_unique<ControllerFormatter>(std::move(fd), kind);
}

}  // namespace tessil::platform::linux_os
