#include "platform/linux/linux_platform.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstddef>
#include <new>
#include <system_error>
#include <thread>

#include "platform/linux/debug_channel.h"
#include "platform/linux/device_map.h"
#include "platform/linux/device_overlap.h"
#include "platform/linux/drive_formatting.h"
#include "platform/linux/errno_map.h"
#include "platform/linux/linux_drive.h"
#include "platform/linux/linux_image_file.h"
#include "platform/linux/medium_cache.h"
#include "platform/linux/medium_geometry.h"
#include "platform/linux/udisks_hold.h"
#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

namespace {

constexpr uint32_t nt_platform_id = 2;

// Each step opens the drive as it would alone, except that whatever
// udisks2 opens is asked once and held for the session.
class LinuxDriveSession final : public DriveSession {
 public:
  LinuxDriveSession(std::optional<std::string> path, DriveAccess widest)
      : path_(std::move(path)), hold_(path_.value_or(""), widest == DriveAccess::read_write) {}

  Error query_geometry(DriveGeometry& out) override {
    return path_ ? query_medium(*path_, out, &hold_) : Error::not_found;
  }
  std::unique_ptr<Drive> open_drive(DriveAccess access, Error& error) override {
    error = Error::not_found;
    return path_ ? LinuxDrive::open(*path_, access, error, &hold_) : nullptr;
  }
  std::unique_ptr<Drive> open_drive_to_verify(Error& error) override {
    error = Error::not_found;
    return path_ ? linux_os::open_drive_to_verify(*path_, error, &hold_) : nullptr;
  }
  std::unique_ptr<DiskFormatter> open_to_format(Error& error) override {
    error = Error::not_found;
    return path_ ? open_formatter(*path_, error) : nullptr;
  }

 private:
  std::optional<std::string> path_;
  UdisksHold hold_;
};

}  // namespace

bool LinuxPlatform::probe_file(const char* path) {
  // Never waits: a FIFO of that name opens at once and is closed again.
  return path && open_fd(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

Error LinuxPlatform::query_geometry(std::string_view device_path, DriveGeometry& out) {
  const std::optional<std::string> path = resolve_device(device_path, system_sources());
  if (!path) return Error::not_found;
  return query_medium(*path, out);
}

std::unique_ptr<Drive> LinuxPlatform::open_drive(std::string_view device_path, DriveAccess access,
                                                 Error& error) {
  const std::optional<std::string> path = resolve_device(device_path, system_sources());
  if (!path) {
    error = Error::not_found;
    return nullptr;
  }
  return LinuxDrive::open(*path, access, error);
}

std::unique_ptr<Drive> LinuxPlatform::open_drive_to_verify(std::string_view device_path,
                                                           Error& error) {
  const std::optional<std::string> path = resolve_device(device_path, system_sources());
  if (!path) {
    error = Error::not_found;
    return nullptr;
  }
  return linux_os::open_drive_to_verify(*path, error);
}

std::unique_ptr<DiskFormatter> LinuxPlatform::open_to_format(std::string_view device_path,
                                                             Error& error) {
  const std::optional<std::string> path = resolve_device(device_path, system_sources());
  if (!path) {
    error = Error::not_found;
    return nullptr;
  }
  return open_formatter(*path, error);
}

std::vector<const StandardFormat*> LinuxPlatform::formats_of(std::string_view device_path) {
  const std::optional<std::string> path = resolve_device(device_path, system_sources());
  return path ? drive_formats(*path) : std::vector<const StandardFormat*>{};
}

std::unique_ptr<DriveSession> LinuxPlatform::hold_drive(std::string_view device_path,
                                                        DriveAccess widest) {
  return std::make_unique<LinuxDriveSession>(resolve_device(device_path, system_sources()), widest);
}

bool LinuxPlatform::is_drive(std::string_view device_path, const char* path) {
  const std::optional<std::string> drive = resolve_device(device_path, system_sources());
  return drive && path && paths_overlap(drive->c_str(), path);
}

std::unique_ptr<ImageFile> LinuxPlatform::open_image(const char* path, ImageMode mode,
                                                     Error& error) {
  return LinuxImageFile::open(path, mode, error);
}

std::vector<DriveEntry> LinuxPlatform::list_drives() {
  return drive_letters(system_sources());
}

std::string LinuxPlatform::device_of(std::string_view device_path) {
  return resolve_device(device_path, system_sources()).value_or(std::string());
}

std::optional<VersionInfo> version_of_release(std::string_view release) {
  const char* const end = release.data() + release.size();
  uint32_t major = 0;
  uint32_t minor = 0;
  auto [after_major, major_error] = std::from_chars(release.data(), end, major);
  if (major_error != std::errc{} || after_major == end || *after_major != '.') return std::nullopt;
  auto [after_minor, minor_error] = std::from_chars(after_major + 1, end, minor);
  if (minor_error != std::errc{}) return std::nullopt;
  return VersionInfo{nt_platform_id, major, minor};
}

std::optional<VersionInfo> LinuxPlatform::version() {
  utsname names{};
  if (::uname(&names) != 0) return std::nullopt;
  return version_of_release(names.release);
}

void LinuxPlatform::debug_output(std::string_view line) {
  debug_write(line);
}

bool LinuxPlatform::start_thread(std::function<void()> body) {
  try {
    std::thread(std::move(body)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace tessil::platform::linux_os
