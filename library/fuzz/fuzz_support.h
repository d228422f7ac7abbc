// What the fuzz targets share: a failed check that libFuzzer reports as a
// finding, and one in-memory file that each input is written into.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tessil::fuzz {

// Checks hold in release builds too; an abort is what libFuzzer records.
inline void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

// A memory-backed file reached by a path, as the library opens image files
// by name. Rewriting it costs no disk I/O, which keeps the runs fast.
class ImageFile {
 public:
  ImageFile() : fd_(::memfd_create("tessil-fuzz-image", MFD_CLOEXEC)) {
    require(fd_ >= 0, "memfd_create");
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~ImageFile() { ::close(fd_); }
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  // Makes the file hold exactly `size` bytes from `data`.
  void hold(const uint8_t* data, std::size_t size) {
    require(::ftruncate(fd_, 0) == 0, "ftruncate");
    for (std::size_t done = 0; done < size;) {
      const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      require(n > 0, "pwrite");
      done += static_cast<std::size_t>(n);
    }
  }
  const char* path() const { return path_.c_str(); }

 private:
  int fd_;
  std::string path_;
};

// The geometry query prints its lines on standard output for every job;
// libFuzzer reports on standard error, which stays.
inline void silence_standard_output() {
  std::fflush(stdout);
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  require(null >= 0 && ::dup2(null, 1) == 1, "standard output to /dev/null");
  ::close(null);
}

}  // namespace tessil::fuzz
