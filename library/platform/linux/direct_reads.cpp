#include "platform/linux/direct_reads.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>

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
  if (::ioctl(fd_, FDSETMAXERRS, &lowered) == 0) {
    saved_ = current;
    return;
  }
  // The driver takes the thresholds only from a descriptor open for
  // writing, and a write-protected disk was opened read-only. A second,
  // non-blocking descriptor opens for writing even then, and writes nothing.
  if (errno != EPERM) return;
  writable_ =
      open_fd(("/proc/self/fd/" + std::to_string(fd_)).c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (writable_ && ::ioctl(writable_.get(), FDSETMAXERRS, &lowered) == 0) {
    fd_ = writable_.get();
    saved_ = current;
  }
}

FloppyErrorLimit::~FloppyErrorLimit() {
  if (saved_) ::ioctl(fd_, FDSETMAXERRS, &*saved_);
}

void DirectReads::start(int fd, bool block_device) {
  started_ = true;
  if (!block_device) return;
  // Buffered reads of a block device fail a whole page around one bad
  // sector, and a retry would be answered from the cache.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_DIRECT) != 0) {
    start_error_ = error_from_errno(errno);
    return;
  }
  if (short_retries_) limit_.emplace(fd);
  int version = 0;
  int block = 0;
  if (::ioctl(fd, SG_GET_VERSION_NUM, &version) == 0 && version >= 30000 &&
      ::ioctl(fd, BLKSSZGET, &block) == 0 && block > 0 &&
      ::ioctl(fd, BLKGETSIZE64, &device_size_) == 0)
    scsi_block_ = static_cast<uint32_t>(block);
}

ReadResult DirectReads::scsi_read(int fd, uint64_t offset, std::span<std::byte> data) {
  const uint64_t lba = offset / scsi_block_;
  const uint64_t blocks = data.size() / scsi_block_;
  const uint8_t cdb[10] = {0x28,  // READ(10)
                           0,
                           static_cast<uint8_t>(lba >> 24),
                           static_cast<uint8_t>(lba >> 16),
                           static_cast<uint8_t>(lba >> 8),
                           static_cast<uint8_t>(lba),
                           0,
                           static_cast<uint8_t>(blocks >> 8),
                           static_cast<uint8_t>(blocks),
                           0};
  // A unit attention (a medium was changed, the device was reset) says
  // nothing about the sector: ask again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::array<uint8_t, 32> sense{};
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.cmdp = const_cast<uint8_t*>(cdb);
    io.cmd_len = sizeof cdb;
    io.dxfer_direction = SG_DXFER_FROM_DEV;
    io.dxferp = data.data();
    io.dxfer_len = static_cast<unsigned>(data.size());
    io.sbp = sense.data();
    io.mx_sb_len = sense.size();
    io.timeout = 60'000;  // milliseconds: a floppy drive's own retries take seconds
    if (::ioctl(fd, SG_IO, &io) != 0) {
      if (errno == EINTR) continue;
      const Error error = error_from_errno(errno);
      return {0, error == Error::none ? Error::io : error, false};
    }
    if (io.status == 0 && io.host_status == 0 && (io.driver_status & 0x0F) == 0 && io.resid == 0)
      return {data.size(), Error::none, false};
    const uint8_t key = io.sb_len_wr > 2 ? (sense[0] >= 0x72 ? sense[1] : sense[2]) & 0x0F : 0;
    const uint8_t asc = io.sb_len_wr > 12 ? (sense[0] >= 0x72 ? sense[2] : sense[12]) : 0;
    if (key == 0x6) continue;
    if (key == 0x2 && asc == 0x3A) return {0, Error::no_medium, false};
    return {0, Error::io, false};
  }
  return {0, Error::io, false};
}

ReadResult DirectReads::read_at(int fd, bool block_device, uint64_t offset,
                                std::span<std::byte> data) {
  if (!started_) start(fd, block_device);
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
  // Whole blocks within the 16-bit transfer length; the end of the disk is
  // left to the plain read, which tells it from a failure.
  if (scsi_block_ != 0 && offset % scsi_block_ == 0 && data.size() % scsi_block_ == 0 &&
      data.size() / scsi_block_ <= 0xFFFF && (offset + data.size()) / scsi_block_ <= 0xFFFFFFFF &&
      offset + data.size() <= device_size_) {
    result = scsi_read(fd, offset, std::span(target, data.size()));
    if (result.count > 0) std::memcpy(data.data(), target, result.count);
    return result;
  }
  result = read_fully_at(fd, target, data.size(), static_cast<off_t>(offset));
  if (block_device && result.count > 0) std::memcpy(data.data(), target, result.count);
  return result;
}

ReadResult LinuxDrive::read_at(uint64_t offset, std::span<std::byte> data) {
  return direct_.read_at(fd_.get(), !file_size_.has_value(), offset, data);
}

}  // namespace tessil::platform::linux_os
