#include "platform/linux/direct_reads.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/linux/errno_map.h"
#include "platform/linux/linux_drive.h"

namespace tessil::platform::linux_os {

namespace {

// O_DIRECT wants the buffer aligned to the device's logical block; a page
// covers every such size.
constexpr std::size_t alignment = 4096;

}  // namespace

FloppyErrorLimit::FloppyErrorLimit(int fd) : fd_(fd) {
  floppy_max_errors current{};
  if (::ioctl(fd_, FDGETMAXERRS, &current) != 0) return;  // not a floppy-controller drive
  floppy_max_errors lowered = current;
  // One attempt per request, and only the sectors asked for: a failing
  // track read must not fail a good sector beside a bad one.
  lowered.abort = 0;
  lowered.read_track = 0;
  if (::ioctl(fd_, FDSETMAXERRS, &lowered) == 0) saved_ = current;
}

FloppyErrorLimit::~FloppyErrorLimit() {
  if (saved_) ::ioctl(fd_, FDSETMAXERRS, &*saved_);
}

ReadResult DirectReads::read_at(int fd, bool block_device, uint64_t offset,
                                std::span<std::byte> data) {
  if (!started_) {
    started_ = true;
    if (block_device) {
      // Buffered reads of a block device fail a whole page around one bad
      // sector, and a retry would be answered from the cache.
      const int flags = ::fcntl(fd, F_GETFL);
      if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_DIRECT) != 0)
        start_error_ = error_from_errno(errno);
      else
        limit_.emplace(fd);
    }
  }
  if (start_error_ != Error::none) return {0, start_error_, false};

  ReadResult result;
  std::byte* target = data.data();
  if (block_device) {
    const std::size_t needed = (data.size() + alignment - 1) / alignment * alignment;
    if (needed > capacity_) {
      buffer_.reset(static_cast<std::byte*>(std::aligned_alloc(alignment, needed)));
      capacity_ = buffer_ ? needed : 0;
      if (!buffer_) return {0, Error::other, false};
    }
    target = buffer_.get();
  }
  while (result.count < data.size()) {
    const ssize_t n = ::pread(fd, target + result.count, data.size() - result.count,
                              static_cast<off_t>(offset + result.count));
    if (n > 0) {
      result.count += static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0) {
      result.end = true;
      break;
    }
    if (errno == EINTR) continue;
    result.error = error_from_errno(errno);
    if (result.error == Error::none) result.error = Error::io;
    break;
  }
  if (block_device && result.count > 0) std::memcpy(data.data(), target, result.count);
  return result;
}

ReadResult LinuxDrive::read_at(uint64_t offset, std::span<std::byte> data) {
  return direct_.read_at(fd_.get(), !file_size_.has_value(), offset, data);
}

}  // namespace tessil::platform::linux_os
