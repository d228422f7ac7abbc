#include "platform/linux/medium_cache.h"

#include <linux/fd.h>
#include <linux/fs.h>
#include <linux/major.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/linux/device_node.h"
#include "platform/linux/direct_reads.h"
#include "platform/linux/errno_map.h"
#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

namespace {

// O_DIRECT wants the buffer, the offset and the length aligned to the
// device's logical block size; a page covers every size seen on floppies.
constexpr std::size_t direct_alignment = 4096;

struct AlignedFree {
  void operator()(std::byte* p) const { std::free(p); }
};

class MediumReader final : public Drive {
 public:
  // `flags`: the descriptor's file status flags before O_DIRECT was set, or
  // -1 when it was not.
  MediumReader(UniqueFd fd, std::size_t unit, int flags)
      : fd_(std::move(fd)),
        unit_(unit),
        direct_(flags >= 0),
        flags_(flags),
        buffer_(static_cast<std::byte*>(std::aligned_alloc(direct_alignment, round_up(unit)))) {}
  // A copy of a descriptor that a command holds shares its flags: the next
  // drive lent from it reads as it always did.
  ~MediumReader() override {
    if (flags_ >= 0) ::fcntl(fd_.get(), F_SETFL, flags_);
  }
  MediumReader(const MediumReader&) = delete;
  MediumReader& operator=(const MediumReader&) = delete;

  ReadResult read(std::span<std::byte> data) override {
    ReadResult result;
    while (result.count < data.size()) {
      if (handed_ == filled_) {
        const ReadResult unit = fill();
        if (unit.count == 0) {
          result.error = unit.error;
          result.end = unit.end;
          // A failed unit is skipped as a whole, as the job's reads skip a
          // failed part.
          if (result.count == 0 && unit.error != Error::none) position_ += unit_;
          break;
        }
      }
      const std::size_t n = std::min(data.size() - result.count, filled_ - handed_);
      std::memcpy(data.data() + result.count, buffer_.get() + handed_, n);
      handed_ += n;
      result.count += n;
    }
    return result;
  }
  Error write(std::span<const std::byte>) override { return Error::read_only; }
  Error write_at(uint64_t, std::span<const std::byte>) override { return Error::read_only; }
  Error flush() override { return Error::none; }
  // The verify reads a track or more at a time, at an offset, as a drive's
  // rescue reads do, but with the floppy driver's retries: a sector that
  // reads only at a second try still reads.
  ReadResult read_at(uint64_t offset, std::span<std::byte> data) override {
    struct stat info {};
    const bool block = ::fstat(fd_.get(), &info) == 0 && S_ISBLK(info.st_mode);
    return at_offset_.read_at(fd_.get(), block, offset, data);
  }

 private:
  static std::size_t round_up(std::size_t n) {
    return (n + direct_alignment - 1) / direct_alignment * direct_alignment;
  }

  // Reads the next unit of the medium into the buffer.
  ReadResult fill() {
    handed_ = filled_ = 0;
    if (!buffer_) return {0, Error::other, false};
    for (;;) {
      const ssize_t n = ::pread(fd_.get(), buffer_.get(), unit_, position_);
      if (n > 0) {
        filled_ = static_cast<std::size_t>(n);
        position_ += n;
        return {filled_, Error::none, false};
      }
      if (n == 0) return {0, Error::none, true};
      if (errno == EINTR) continue;
      if (errno == EINVAL && direct_) {
        // The device or its file system takes no O_DIRECT after all; its
        // cache was dropped at the open, so plain reads still see the medium.
        const int flags = ::fcntl(fd_.get(), F_GETFL);
        if (flags >= 0 && ::fcntl(fd_.get(), F_SETFL, flags & ~O_DIRECT) == 0) {
          direct_ = false;
          continue;
        }
      }
      const Error error = error_from_errno(errno);
      return {0, error == Error::none ? Error::io : error, false};
    }
  }

  UniqueFd fd_;
  std::size_t unit_;
  bool direct_;
  int flags_;
  std::unique_ptr<std::byte, AlignedFree> buffer_;
  std::size_t filled_ = 0;
  std::size_t handed_ = 0;
  DirectReads at_offset_{false};
  off_t position_ = 0;
};

}  // namespace

void drop_cached_blocks(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return;
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  if (!S_ISBLK(info.st_mode)) return;
  // Flushes and drops the whole device's cache; refused (EACCES) without
  // CAP_SYS_ADMIN, where the advice above has done what it can.
  ::ioctl(fd, BLKFLSBUF, 0);
  // The floppy driver keeps the last track it moved in a buffer of its own
  // and answers later reads of that track from it.
  if (major(info.st_rdev) == FLOPPY_MAJOR) ::ioctl(fd, FDFLUSH, 0);
}

std::unique_ptr<Drive> open_drive_to_verify(const std::string& path, Error& error,
                                            UdisksHold* hold) {
  // Opened as a job opens it, through udisks2 where this user may not:
  // read-write where it can, since the floppy driver takes FDFLUSH only on
  // a descriptor open for writing. This drive still never writes.
  std::optional<ClaimedNode> node = claim_node_for_job(path, DriveAccess::read, error, hold);
  if (!node) return nullptr;
  const bool block = node->block;
  UniqueFd fd = std::move(node->fd);
  // Anything still dirty goes to the medium first, or dropping the cache
  // would keep it and a read would still be served from memory.
  while (::fsync(fd.get()) != 0 && errno == EINTR) {
  }
  drop_cached_blocks(fd.get());

  std::size_t unit = 512;
  int flags = -1;
  if (block) {
    int sector_size = 0;
    if (::ioctl(fd.get(), BLKSSZGET, &sector_size) == 0 && sector_size > 0)
      unit = std::max<std::size_t>(unit, static_cast<std::size_t>(sector_size));
    flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0 && ::fcntl(fd.get(), F_SETFL, flags | O_DIRECT) != 0) flags = -1;
  }
  error = Error::none;
  return std::make_unique<MediumReader>(std::move(fd), unit, flags);
}

}  // namespace tessil::platform::linux_os
