#include "platform/linux/linux_image_file.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/linux/errno_map.h"

namespace tessil::platform::linux_os {

namespace {

// Large enough that a copy is not one system call per 512-byte block.
constexpr std::size_t buffer_size = 64 * 1024;

bool usable_kind(const struct stat& info) {
  return S_ISREG(info.st_mode) || S_ISBLK(info.st_mode);
}

// The directory holding `path`, to sync a new directory entry.
UniqueFd directory_of(const char* path) {
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (parent.empty()) parent = ".";
  return open_fd(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

Error sync_fd(int fd) {
  while (::fsync(fd) != 0) {
    if (errno == EINTR) continue;
    // Nothing there to sync: nothing is lost.
    return errno == EINVAL || errno == EROFS ? Error::none : error_from_errno(errno);
  }
  return Error::none;
}

}  // namespace

std::unique_ptr<ImageFile> LinuxImageFile::open(const char* path, ImageMode mode, Error& error) {
  if (!path || !*path) {
    error = Error::not_found;
    return nullptr;
  }
  const bool private_file = mode == ImageMode::create_private;
  const bool create_new = mode == ImageMode::create_new || private_file;
  const bool create = mode == ImageMode::create || create_new;
  const bool update = mode == ImageMode::update;
  // Whatever the path names is looked at first: a block device is opened
  // exclusively, and only an existing regular file is emptied, never a
  // device or a FIFO.
  struct stat before {};
  const bool existed = ::stat(path, &before) == 0;
  // A new file only: a name taken, even by a dangling link, is refused.
  if (create_new && (existed || ::lstat(path, &before) == 0)) {
    error = Error::exists;
    return nullptr;
  }
  if (existed && !usable_kind(before)) {
    error = Error::other;
    return nullptr;
  }
  const bool block = existed && S_ISBLK(before.st_mode);
  int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (create ? O_WRONLY : update ? O_RDWR : O_RDONLY);
  if (create && !existed) flags |= O_CREAT | O_EXCL | (create_new ? O_NOFOLLOW : 0);
  if (block) flags |= O_EXCL;
  UniqueFd fd = open_fd(path, flags, private_file ? 0600 : 0666);
  if (!fd) {
    error = error_from_errno(errno);
    return nullptr;
  }
  // The path may have changed between the look and the open.
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !usable_kind(info) ||
      (existed && (info.st_dev != before.st_dev || info.st_ino != before.st_ino))) {
    error = Error::other;
    return nullptr;
  }
  const int status = ::fcntl(fd.get(), F_GETFL);
  if (status < 0 || ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) != 0) {
    error = error_from_errno(errno);
    return nullptr;
  }
  if (create && S_ISREG(info.st_mode) && ::ftruncate(fd.get(), 0) != 0) {
    error = error_from_errno(errno);
    return nullptr;
  }
  error = Error::none;
  return std::make_unique<LinuxImageFile>(std::move(fd),
                                          create && !existed ? directory_of(path) : UniqueFd());
}

LinuxImageFile::LinuxImageFile(UniqueFd fd, UniqueFd directory)
    : fd_(std::move(fd)), directory_(std::move(directory)), buffer_(buffer_size) {
  struct stat info {};
  if (fd_ && ::fstat(fd_.get(), &info) == 0) identity_ = FileIdentity{info.st_dev, info.st_ino};
}

bool LinuxImageFile::named_by(const char* path) {
  struct stat info {};
  return identity_ && path && ::stat(path, &info) == 0 && info.st_nlink > 0 &&
         FileIdentity{info.st_dev, info.st_ino} == *identity_;
}

LinuxImageFile::~LinuxImageFile() {
  // Like closing a stream: what was written so far reaches the file even on
  // a job's way out after a failure.
  if (fd_) write_out();
}

ReadResult LinuxImageFile::read(std::span<std::byte> data) {
  ReadResult result;
  while (result.count < data.size()) {
    if (handed_ == buffered_) {
      if (at_end_ || failure_ != Error::none) break;
      handed_ = buffered_ = 0;
      const ssize_t n = ::read(fd_.get(), buffer_.data(), buffer_.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) failure_ = error_from_errno(errno);
      if (n == 0) at_end_ = true;
      if (n <= 0) break;
      buffered_ = static_cast<std::size_t>(n);
    }
    const std::size_t n = std::min(data.size() - result.count, buffered_ - handed_);
    std::memcpy(data.data() + result.count, buffer_.data() + handed_, n);
    handed_ += n;
    result.count += n;
  }
  if (result.count < data.size()) {
    result.error = failure_;
    result.end = failure_ == Error::none;
  }
  return result;
}

Error LinuxImageFile::write_out() {
  // A buffer of read bytes is never written back.
  if (!writing_) return failure_;
  std::size_t done = 0;
  while (done < buffered_ && failure_ == Error::none) {
    const ssize_t n = ::write(fd_.get(), buffer_.data() + done, buffered_ - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n == 0) {
      failure_ = Error::io;  // no progress: never loop for ever
    } else if (errno != EINTR) {
      failure_ = error_from_errno(errno);
    }
  }
  buffered_ = 0;
  return failure_;
}

Error LinuxImageFile::write(std::span<const std::byte> data) {
  writing_ = true;
  while (!data.empty() && failure_ == Error::none) {
    const std::size_t n = std::min(data.size(), buffer_.size() - buffered_);
    std::memcpy(buffer_.data() + buffered_, data.data(), n);
    buffered_ += n;
    data = data.subspan(n);
    if (buffered_ == buffer_.size()) write_out();
  }
  return failure_;
}

Error LinuxImageFile::write_at(uint64_t offset, std::span<const std::byte> data) {
  // Whatever waits in the buffer belongs before this write.
  if (write_out() != Error::none) return failure_;
  while (!data.empty()) {
    const ssize_t n = ::pwrite(fd_.get(), data.data(), data.size(), static_cast<off_t>(offset));
    if (n > 0) {
      offset += static_cast<uint64_t>(n);
      data = data.subspan(static_cast<std::size_t>(n));
    } else if (n == 0) {
      return failure_ = Error::io;
    } else if (errno != EINTR) {
      return failure_ = error_from_errno(errno);
    }
  }
  return Error::none;
}

Error LinuxImageFile::set_size(uint64_t size) {
  // What waits in the buffer lies inside the new size.
  if (write_out() != Error::none) return failure_;
  struct stat info {};
  if (::fstat(fd_.get(), &info) != 0 || !S_ISREG(info.st_mode)) return Error::other;
  while (::ftruncate(fd_.get(), static_cast<off_t>(size)) != 0)
    if (errno != EINTR) return failure_ = error_from_errno(errno);
  return Error::none;
}

ReadResult LinuxImageFile::read_at(uint64_t offset, std::span<std::byte> data) {
  ReadResult result;
  // Bytes written but still buffered are part of what is read.
  if ((result.error = write_out()) != Error::none) return result;
  while (result.count < data.size()) {
    const ssize_t n = ::pread(fd_.get(), data.data() + result.count, data.size() - result.count,
                              static_cast<off_t>(offset + result.count));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) result.error = error_from_errno(errno);
    if (n == 0) result.end = true;
    if (n <= 0) break;
    result.count += static_cast<std::size_t>(n);
  }
  return result;
}

Error LinuxImageFile::sync() {
  if (!fd_) return Error::other;
  if (write_out() != Error::none) return failure_;
  if (const Error synced = sync_fd(fd_.get()); synced != Error::none) return failure_ = synced;
  return directory_ ? sync_fd(directory_.get()) : Error::none;
}

Error LinuxImageFile::finish() {
  if (!fd_) return Error::other;
  if (write_out() != Error::none) return failure_;
  if (const Error synced = sync_fd(fd_.get()); synced != Error::none) return synced;
  if (directory_) {
    if (const Error synced = sync_fd(directory_.get()); synced != Error::none) return synced;
  }
  // close() reports what an NFS server or a quota refused only now.
  if (::close(fd_.release()) != 0 && errno != EINTR) return error_from_errno(errno);
  return Error::none;
}

std::optional<uint64_t> LinuxImageFile::size() {
  struct stat info {};
  if (!fd_ || ::fstat(fd_.get(), &info) != 0) return std::nullopt;
  if (S_ISREG(info.st_mode)) return static_cast<uint64_t>(info.st_size);
  uint64_t bytes = 0;
  if (S_ISBLK(info.st_mode) && ::ioctl(fd_.get(), BLKGETSIZE64, &bytes) == 0) return bytes;
  return std::nullopt;
}

}  // namespace tessil::platform::linux_os
