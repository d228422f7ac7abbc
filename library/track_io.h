// Whole tracks to and from the drive. A job still moves 512-byte blocks,
// with progress and a cancel test between them, but the drive sees few,
// large, aligned commands: on a floppy a command that does not follow the
// one before at once waits a whole turn of the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "geometry.h"
#include "platform/platform.h"

namespace tessil {

// The bytes of one drive command: as many whole tracks as fit in 24 KiB,
// and at least one. Two tracks (a cylinder) on a 1.44 MB disk; the floppy
// driver takes at most 32 KiB in one request.
std::size_t command_bytes(const DriveInfo& info);

// Gathers the blocks a write job takes and writes them a command at a time,
// at their place on the disk, through Drive::write_at.
class TrackWriter {
 public:
  TrackWriter(platform::Drive& drive, std::size_t command);

  // Queues the next block; writes the command once it is whole.
  platform::Error put(std::span<const std::byte> block);
  // Writes whatever is queued, a part of a command after a stop.
  platform::Error drain();
  // After a failure: where the block that failed ends, as the job's progress
  // stood when it took that block.
  uint64_t failed_end() const { return failed_end_; }

 private:
  // A command the drive refused, block by block, to name the block that
  // fails; the blocks before it are written.
  platform::Error write_blocks(uint64_t at, std::span<const std::byte> data);

  platform::Drive& drive_;
  std::size_t command_;
  std::vector<std::byte> queued_;
  uint64_t queued_at_ = 0;  // the disk offset of queued_'s first byte
  uint64_t failed_end_ = 0;
};

// Reads the disk a command at a time through Drive::read_at and hands it
// out in blocks. Only a command that fails (or ends early) is read again
// one sector at a time, so that every sector before the failing one is
// still handed out and the failure comes where that sector is.
class TrackReader {
 public:
  TrackReader(platform::Drive& drive, uint64_t disk_size, std::size_t command, std::size_t sector);

  platform::ReadResult take(std::span<std::byte> block);

 private:
  void refill();

  platform::Drive& drive_;
  uint64_t disk_size_;
  std::size_t sector_;
  std::vector<std::byte> buffer_;
  uint64_t next_ = 0;  // the disk offset of the next command
  std::size_t filled_ = 0;
  std::size_t handed_ = 0;
  platform::ReadResult stop_;  // what comes once the buffer is handed out
  bool stopped_ = false;
};

}  // namespace tessil
