#include "platform/linux/linux_drive.h"

#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/linux/device_node.h"
#include "platform/linux/device_overlap.h"
#include "platform/linux/errno_map.h"
#include "platform/linux/medium_cache.h"

namespace tessil::platform::linux_os {

std::unique_ptr<Drive> LinuxDrive::open(const std::string& path, DriveAccess access, Error& error,
                                        UdisksHold* hold) {
  std::optional<ClaimedNode> node = claim_node_for_job(path, access, error, hold);
  if (!node) return nullptr;
  const bool block = node->block;
  const struct stat& info = node->info;
  bool read_only = node->read_only;
  UniqueFd fd = std::move(node->fd);
  // A file behind a loop device is a disk in use, perhaps a mounted one, as
  // busy as a device that another program holds.
  if (!block && backs_loop_device(info.st_dev, info.st_ino)) {
    error = Error::busy;
    return nullptr;
  }
  // Some read-only devices (a read-only loop device) accept a read-write
  // open and refuse only the writes; the device's flag says so up front.
  int device_read_only = 0;
  if (block && !read_only && ::ioctl(fd.get(), BLKROGET, &device_read_only) == 0 &&
      device_read_only != 0)
    read_only = true;
  error = Error::none;
  // An image file stands for a disk of its size: it never grows. The lock
  // keeps other jobs away while it is open, so its size is taken once.
  const std::optional<off_t> file_size = block ? std::nullopt : std::optional<off_t>(info.st_size);
  return std::make_unique<LinuxDrive>(std::move(fd), file_size, read_only);
}

LinuxDrive::LinuxDrive(UniqueFd fd, std::optional<off_t> file_size, bool read_only)
    : fd_(std::move(fd)), file_size_(file_size), read_only_(read_only) {}

ReadResult LinuxDrive::read(std::span<std::byte> data) {
  const ReadResult result = read_fully_at(fd_.get(), data.data(), data.size(), position_);
  position_ += static_cast<off_t>(result.count);
  // A failed part of the medium. The next read goes on after it, so that a
  // bad sector (or the 4 KiB page the cache fails around it) never keeps
  // reading at one place.
  if (result.failed() && result.count == 0) position_ += static_cast<off_t>(data.size());
  return result;
}

Error LinuxDrive::write(std::span<const std::byte> data) {
  if (read_only_) return Error::read_only;
  if (const Error kept = still_whole_at_times(); kept != Error::none) return kept;
  std::span<const std::byte> rest = data;
  bool past_end = false;
  if (file_size_) {
    const off_t room = *file_size_ > position_ ? *file_size_ - position_ : 0;
    if (static_cast<uint64_t>(room) < rest.size()) {
      rest = rest.first(static_cast<std::size_t>(room));
      past_end = true;
    }
  }
  while (!rest.empty()) {
    const ssize_t n = ::pwrite(fd_.get(), rest.data(), rest.size(), position_);
    if (n > 0) {
      position_ += n;
      rest = rest.subspan(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) return Error::io;  // no progress: never loop for ever
    // EBADF: opened read-only; EPERM: a block device set read-only.
    return errno == EBADF || errno == EPERM ? Error::read_only : error_from_errno(errno);
  }
  return past_end ? Error::no_space : Error::none;
}

Error LinuxDrive::write_at(uint64_t offset, std::span<const std::byte> data) {
  if (read_only_) return Error::read_only;
  if (!file_size_) return writes_.write_at(fd_.get(), offset, data);
  // A file standing for a disk has no cache to bypass. One look per
  // command, a track or more, sees a cut before the file fills up again.
  if (const Error kept = still_whole(); kept != Error::none) return kept;
  const uint64_t room = offset < static_cast<uint64_t>(*file_size_) ? *file_size_ - offset : 0;
  const std::size_t fits = static_cast<std::size_t>(std::min<uint64_t>(room, data.size()));
  std::size_t written = 0;
  if (const Error error = write_fully_at(fd_.get(), data.data(), fits, offset, written);
      error != Error::none)
    return error;
  return fits < data.size() ? Error::no_space : Error::none;
}

Error LinuxDrive::flush() {
  // A floppy reports a failed write through the cache only here, never at
  // write(); and a drive's own write cache empties here.
  while (::fsync(fd_.get()) != 0)
    if (errno != EINTR) return Error::io;
  if (const Error whole = still_whole(); whole != Error::none) return whole;
  // What was written stays cached; a later read must see the medium.
  drop_cached_blocks(fd_.get());
  return Error::none;
}

Error LinuxDrive::still_whole_at_times() const {
  // A look costs a system call, so it is taken every 64 KiB and at every
  // block of the last 64 KiB: a cut is seen before the blocks written after
  // it fill the file up to its size again.
  constexpr off_t interval = 64 * 1024;
  if (!file_size_ || (position_ % interval != 0 && *file_size_ - position_ > interval))
    return Error::none;
  return still_whole();
}

Error LinuxDrive::still_whole() const {
  if (!file_size_) return Error::none;
  struct stat info {};
  if (::fstat(fd_.get(), &info) != 0) return error_from_errno(errno);
  // Deleted: whatever was written goes with the file.
  if (info.st_nlink == 0) return Error::not_found;
  // Cut (or grown) by someone else: no longer the disk it stood for.
  return info.st_size == *file_size_ ? Error::none : Error::io;
}

}  // namespace tessil::platform::linux_os
