// An owned file descriptor: closed exactly once, whatever path the code takes.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace tessil::platform::linux_os {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const noexcept { return fd_; }
  explicit operator bool() const noexcept { return fd_ >= 0; }
  // Hands the descriptor over, for a close whose result matters.
  int release() noexcept { return std::exchange(fd_, -1); }

  // Closing keeps errno, so a caller can still read the failure it is
  // handling. Linux frees the descriptor even when close fails: never retry.
  void reset(int fd = -1) noexcept {
    if (fd_ >= 0) {
      const int saved = errno;
      ::close(fd_);
      errno = saved;
    }
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// open(2) that sits out signals: a blocking floppy open takes a while.
// On failure the result is empty and errno tells why.
inline UniqueFd open_fd(const char* path, int flags, mode_t mode = 0) noexcept {
  int fd;
  do {
    fd = ::open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return UniqueFd(fd);
}

}  // namespace tessil::platform::linux_os
