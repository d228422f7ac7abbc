// A drive opened for a job: a block device or an image file, read and
// written in place at a position of its own.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/linux/direct_reads.h"
#include "platform/linux/direct_writes.h"
#include "platform/linux/unique_fd.h"
#include "platform/platform.h"

namespace tessil::platform::linux_os {

class UdisksHold;

class LinuxDrive final : public Drive {
 public:
  // Read-write and exclusive; read-only (still exclusive) when the medium is
  // write-protected, or when the job only reads and may not write. A block
  // device is held with O_EXCL, so a mounted disk is refused; an image file
  // with an flock, and refused while a loop device stands on it. A node this
  // user may not open is asked of udisks2 for `access`, through `hold` when a
  // command holds the drive. Null on failure, with `error`.
  static std::unique_ptr<Drive> open(const std::string& path, DriveAccess access, Error& error,
                                     UdisksHold* hold = nullptr);

  // `file_size` is the size of an image file standing for a disk, fixed for
  // as long as the drive is open; nothing for a block device.
  LinuxDrive(UniqueFd fd, std::optional<off_t> file_size, bool read_only);

  ReadResult read(std::span<std::byte> data) override;
  Error write(std::span<const std::byte> data) override;
  Error flush() override;
  // In direct_reads.cpp.
  ReadResult read_at(uint64_t offset, std::span<std::byte> data) override;
  Error write_at(uint64_t offset, std::span<const std::byte> data) override;

  bool read_only() const { return read_only_; }

 private:
  // An image file standing for a disk keeps its size and its name for as
  // long as the drive is open; a failure once either changed. The second
  // looks only now and then while writing.
  Error still_whole() const;
  Error still_whole_at_times() const;

  UniqueFd fd_;
  std::optional<off_t> file_size_;
  bool read_only_;
  off_t position_ = 0;
  DirectWrites writes_;
  DirectReads direct_;  // after fd_: its floppy thresholds go back before the close
};

}  // namespace tessil::platform::linux_os
