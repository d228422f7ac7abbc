// Rescue reads of a drive: at a given offset, past the kernel's caches, and
// on a floppy-controller drive with the driver's own retries held short.
#pragma once

#include <linux/fd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>

#include "platform/linux/unique_fd.h"
#include "platform/platform.h"

namespace tessil::platform::linux_os {

// The floppy driver's error thresholds, lowered for as long as this lives
// and then put back as they were: a rescue makes its own passes over a bad
// sector, and the driver's retries would multiply the time each one takes.
class FloppyErrorLimit {
 public:
  // Nothing happens unless `fd` is a floppy-controller drive whose
  // thresholds may be set.
  explicit FloppyErrorLimit(int fd);
  ~FloppyErrorLimit();
  FloppyErrorLimit(const FloppyErrorLimit&) = delete;
  FloppyErrorLimit& operator=(const FloppyErrorLimit&) = delete;

  bool engaged() const { return saved_.has_value(); }

 private:
  int fd_;
  UniqueFd writable_;  // set only through a descriptor open for writing
  std::optional<floppy_max_errors> saved_;
};

// What a drive keeps for its rescue reads, set up on the first one. A SCSI
// disk (a USB floppy drive is one) is sent READ(10) commands of its own
// (SG_IO): a failed one comes back at once, where a read through the block
// layer first goes through the kernel's error handling and logging, some
// twenty times as long. Any other block device is read with O_DIRECT, with
// the aligned buffer that O_DIRECT needs.
class DirectReads {
 public:
  // `short_retries`: a rescue's reads, which make their own passes over a
  // bad sector; a verify keeps the floppy driver's own retries.
  explicit DirectReads(bool short_retries = true) : short_retries_(short_retries) {}
  ReadResult read_at(int fd, bool block_device, uint64_t offset, std::span<std::byte> data);

 private:
  struct Free {
    void operator()(std::byte* p) const { std::free(p); }
  };
  void start(int fd, bool block_device);
  ReadResult scsi_read(int fd, uint64_t offset, std::span<std::byte> data);

  bool short_retries_;
  bool started_ = false;
  uint32_t scsi_block_ = 0;  // the logical block of a SCSI disk; 0: not one
  uint64_t device_size_ = 0;
  Error start_error_ = Error::none;
  std::unique_ptr<std::byte, Free> buffer_;
  std::size_t capacity_ = 0;
  std::optional<FloppyErrorLimit> limit_;
};

}  // namespace tessil::platform::linux_os
