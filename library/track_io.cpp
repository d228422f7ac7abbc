#include "track_io.h"

#include <algorithm>
#include <cstring>

#include "tessil.h"

namespace tessil {

std::size_t command_bytes(const DriveInfo& info) {
  constexpr std::size_t most = 24 * 1024;
  const std::size_t track = std::size_t(std::max(info.sectors_per_track, 1)) *
                            std::size_t(std::max(info.bytes_per_sector, TESSIL_BLOCK_SIZE));
  return track * std::max<std::size_t>(1, most / track);
}

TrackWriter::TrackWriter(platform::Drive& drive, std::size_t command)
    : drive_(drive), command_(command) {
  queued_.reserve(command_ + TESSIL_BLOCK_SIZE);
}

platform::Error TrackWriter::put(std::span<const std::byte> block) {
  queued_.insert(queued_.end(), block.begin(), block.end());
  if (queued_.size() < command_) return platform::Error::none;
  const std::span<const std::byte> whole = std::span(queued_).first(command_);
  if (drive_.write_at(queued_at_, whole) != platform::Error::none) {
    if (const platform::Error failed = write_blocks(queued_at_, whole);
        failed != platform::Error::none)
      return failed;
  }
  queued_.erase(queued_.begin(), queued_.begin() + static_cast<std::ptrdiff_t>(command_));
  queued_at_ += command_;
  return platform::Error::none;
}

platform::Error TrackWriter::drain() {
  if (queued_.empty()) return platform::Error::none;
  platform::Error error = drive_.write_at(queued_at_, queued_);
  if (error != platform::Error::none) error = write_blocks(queued_at_, queued_);
  if (error == platform::Error::none) {
    queued_at_ += queued_.size();
    queued_.clear();
  }
  return error;
}

platform::Error TrackWriter::write_blocks(uint64_t at, std::span<const std::byte> data) {
  for (std::size_t done = 0; done < data.size(); done += TESSIL_BLOCK_SIZE) {
    const std::span<const std::byte> block =
        data.subspan(done, std::min<std::size_t>(TESSIL_BLOCK_SIZE, data.size() - done));
    if (const platform::Error error = drive_.write_at(at + done, block);
        error != platform::Error::none) {
      failed_end_ = at + done + block.size();
      return error;
    }
  }
  return platform::Error::none;
}

TrackReader::TrackReader(platform::Drive& drive, uint64_t disk_size, std::size_t command,
                         std::size_t sector)
    : drive_(drive), disk_size_(disk_size), sector_(sector), buffer_(command) {}

platform::ReadResult TrackReader::take(std::span<std::byte> block) {
  if (handed_ == filled_) {
    if (stopped_) return stop_;
    refill();
    if (filled_ == 0) return stop_;
  }
  const std::size_t n = std::min(block.size(), filled_ - handed_);
  std::memcpy(block.data(), buffer_.data() + handed_, n);
  handed_ += n;
  return {n, platform::Error::none, false};
}

void TrackReader::refill() {
  handed_ = filled_ = 0;
  if (next_ >= disk_size_) {
    stop_ = {0, platform::Error::none, true};
    stopped_ = true;
    return;
  }
  const std::size_t size = std::min<uint64_t>(buffer_.size(), disk_size_ - next_);
  const platform::ReadResult whole = drive_.read_at(next_, std::span(buffer_).first(size));
  if (!whole.failed() && whole.count == size) {
    filled_ = size;
    next_ += size;
    return;
  }
  while (filled_ < size) {
    const std::size_t n = std::min(sector_, size - filled_);
    const platform::ReadResult one =
        drive_.read_at(next_ + filled_, std::span(buffer_).subspan(filled_, n));
    if (one.failed() || one.count < n) {
      if (!one.failed()) filled_ += one.count;
      stop_ = {0, one.error, one.end || !one.failed()};
      stopped_ = true;
      break;
    }
    filled_ += n;
  }
  next_ += filled_;
}

}  // namespace tessil
