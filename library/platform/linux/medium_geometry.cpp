#include "platform/linux/medium_geometry.h"

#include <linux/fd.h>
#include <linux/fs.h>
#include <linux/major.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <string>

#include "platform/linux/dense_probe.h"
#include "platform/linux/device_node.h"
#include "platform/linux/errno_map.h"
#include "platform/linux/sysfs.h"
#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

namespace {

constexpr uint32_t floppy_sector = 512;

}  // namespace

DriveGeometry geometry_from_size(uint64_t size, uint32_t sector_size, bool removable) {
  if (sector_size == 0) sector_size = floppy_sector;
  const uint32_t other_media = removable ? media_removable : media_fixed;
  if (sector_size == floppy_sector)
    if (const StandardFormat* format = standard_format_of(size))
      return {format->cylinders, format->media_type ? format->media_type : other_media,
              format->heads, format->sectors_per_track, floppy_sector};
  return {static_cast<int64_t>(size / sector_size), other_media, 1, 1, sector_size};
}

DriveGeometry geometry_from_floppy(uint32_t cylinders, uint32_t heads, uint32_t sectors_per_track,
                                   uint64_t total_sectors) {
  const StandardFormat* format = standard_format_of(total_sectors * floppy_sector);
  const uint32_t media = format && format->media_type ? format->media_type : media_removable;
  return {cylinders, media, heads, sectors_per_track, floppy_sector};
}

bool block_device_removable(unsigned major, unsigned minor, const std::filesystem::path& sys_root) {
  const std::filesystem::path device =
      sys_root / "dev/block" / (std::to_string(major) + ":" + std::to_string(minor));
  // A partition has no `removable` of its own; its disk's directory holds it.
  std::optional<std::string> removable = read_attribute(device / "removable");
  if (!removable && read_attribute(device / "partition"))
    removable = read_attribute(device / ".." / "removable");
  return removable == "1";
}

Error query_medium(const std::string& path, DriveGeometry& out, UdisksHold* hold) {
  // Only files and block devices are opened: a FIFO would block for ever.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return error_from_errno(errno);
  if (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode)) return Error::other;

  // No O_NONBLOCK: the floppy driver learns the disk's format only on a
  // blocking open, and an empty drive fails it with ENXIO.
  Error error = Error::none;
  const UniqueFd fd = open_node_to_read(path, O_CLOEXEC, error, hold);
  if (!fd) return error;
  if (::fstat(fd.get(), &info) != 0) return error_from_errno(errno);

  if (S_ISREG(info.st_mode)) {
    if (info.st_size <= 0) return Error::no_medium;
    out = geometry_from_size(static_cast<uint64_t>(info.st_size), floppy_sector, false);
    return Error::none;
  }
  if (!S_ISBLK(info.st_mode)) return Error::other;

  floppy_struct params{};
  if (::ioctl(fd.get(), FDGETPRM, &params) == 0) {
    if (params.size == 0 || params.track == 0 || params.head == 0 || params.sect == 0)
      return Error::no_medium;
    if (const std::optional<floppy_struct> dense = find_denser_format(path, params))
      params = *dense;
    out = geometry_from_floppy(params.track, params.head, params.sect, params.size);
    return Error::none;
  }
  // A floppy-controller drive that cannot say its format has no readable
  // disk; its size would be a placeholder, not the disk's.
  const unsigned major_number = major(info.st_rdev);
  if (major_number == FLOPPY_MAJOR) return error_from_errno(errno);

  // Any other block device (USB floppy, loop device, disk): from its size.
  uint64_t size = 0;
  int sector_size = 0;
  if (::ioctl(fd.get(), BLKGETSIZE64, &size) != 0) return error_from_errno(errno);
  if (::ioctl(fd.get(), BLKSSZGET, &sector_size) != 0) return error_from_errno(errno);
  if (size == 0) return Error::no_medium;
  if (sector_size <= 0) return Error::other;
  out = geometry_from_size(size, static_cast<uint32_t>(sector_size),
                           block_device_removable(major_number, minor(info.st_rdev)));
  return Error::none;
}

}  // namespace tessil::platform::linux_os
