#include "platform/linux/direct_writes.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/errno_map.h"

namespace tessil::platform::linux_os {

namespace {

// O_DIRECT wants the buffer aligned to the device's logical block; a page
// covers every such size.
constexpr std::size_t alignment = 4096;

Error write_error(int code) {
  // EBADF: opened read-only; EPERM: a block device set read-only.
  if (code == EBADF || code == EPERM) return Error::read_only;
  const Error error = error_from_errno(code);
  return error == Error::none ? Error::io : error;
}

// O_DIRECT on a descriptor for as long as this lives.
class DirectMode {
 public:
  explicit DirectMode(int fd) : fd_(fd), flags_(::fcntl(fd, F_GETFL)) {
    if (flags_ >= 0 && (flags_ & O_DIRECT) == 0 && ::fcntl(fd, F_SETFL, flags_ | O_DIRECT) != 0)
      flags_ = -1;
  }
  ~DirectMode() { off(); }
  DirectMode(const DirectMode&) = delete;
  DirectMode& operator=(const DirectMode&) = delete;
  bool on() const { return flags_ >= 0; }
  void off() {
    if (flags_ >= 0 && (flags_ & O_DIRECT) == 0) ::fcntl(fd_, F_SETFL, flags_);
    flags_ = -1;
  }

 private:
  int fd_;
  int flags_;
};

}  // namespace

Error write_fully_at(int fd, const std::byte* data, std::size_t size, uint64_t offset,
                     std::size_t& written) {
  written = 0;
  while (written < size) {
    const ssize_t n =
        ::pwrite(fd, data + written, size - written, static_cast<off_t>(offset + written));
    if (n > 0) {
      written += static_cast<std::size_t>(n);
    } else if (n == 0) {
      return Error::io;  // no progress: never loop for ever
    } else if (errno != EINTR) {
      return write_error(errno);
    }
  }
  return Error::none;
}

bool DirectWrites::reserve(std::size_t size) {
  if (size <= capacity_) return true;
  buffer_.reset(static_cast<std::byte*>(std::aligned_alloc(alignment, size)));
  capacity_ = buffer_ ? size : 0;
  return buffer_ != nullptr;
}

Error DirectWrites::write_at(int fd, uint64_t offset, std::span<const std::byte> data) {
  if (sector_ == 0) {
    int size = 0;
    sector_ = ::ioctl(fd, BLKSSZGET, &size) == 0 && size > 0 ? static_cast<std::size_t>(size) : 512;
  }
  std::size_t written = 0;
  const std::size_t whole = (data.size() + sector_ - 1) / sector_ * sector_;
  DirectMode direct(fd);
  if (!direct.on() || offset % sector_ != 0 ||
      !reserve((whole + alignment - 1) / alignment * alignment)) {
    direct.off();
    return write_fully_at(fd, data.data(), data.size(), offset, written);
  }
  // A last sector written only in part keeps the rest of what it holds.
  if (whole != data.size()) {
    const uint64_t last = offset + whole - sector_;
    const ReadResult kept =
        read_fully_at(fd, buffer_.get() + whole - sector_, sector_, static_cast<off_t>(last));
    if (kept.failed()) return kept.error;
    if (kept.count < sector_) return Error::no_space;
  }
  std::memcpy(buffer_.get(), data.data(), data.size());
  const Error error = write_fully_at(fd, buffer_.get(), whole, offset, written);
  if (error != Error::other || errno != EINVAL || written != 0) return error;
  // The device took O_DIRECT and then refused it.
  direct.off();
  return write_fully_at(fd, data.data(), data.size(), offset, written);
}

}  // namespace tessil::platform::linux_os
