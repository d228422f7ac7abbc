// Scratch files, directories and environment for the platform tests.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/linux/linux_drive.h"

namespace tessil::platform::linux_os::testing {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessil-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Byte i of a test pattern: recognisable at every offset.
inline std::byte pattern_byte(std::size_t i) {
  return static_cast<std::byte>((i * 7 + i / 509) & 0xFF);
}

inline std::vector<std::byte> pattern(std::size_t size, std::size_t from = 0) {
  std::vector<std::byte> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = pattern_byte(from + i);
  return bytes;
}

inline void write_file(const std::filesystem::path& path, const std::vector<std::byte>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::byte> read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::byte> bytes(std::filesystem::file_size(path));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

// A file's text; empty when there is none.
inline std::string read_text(const std::filesystem::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file of `size` bytes without writing them (sparse).
inline void sized_file(const std::filesystem::path& path, std::uintmax_t size) {
  std::ofstream(path, std::ios::binary).close();
  std::filesystem::resize_file(path, size);
}

// Sets an environment variable for one test, restoring it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
    if (const char* old = ::getenv(name_.c_str())) old_ = old;
    ::setenv(name_.c_str(), value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_)
      ::setenv(name_.c_str(), old_->c_str(), 1);
    else
      ::unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// A loop device attached for one test and detached again, even when the
// test fails.
class LoopDevice {
 public:
  LoopDevice(const std::filesystem::path& file, bool read_only) {
    const std::string command =
        std::string("losetup -f --show ") + (read_only ? "-r " : "") + "'" + file.string() + "'";
    if (std::FILE* out = ::popen(command.c_str(), "r")) {
      std::array<char, 256> line{};
      if (std::fgets(line.data(), line.size(), out)) path_ = line.data();
      if (::pclose(out) != 0) path_.clear();
      while (!path_.empty() && path_.back() == '\n') path_.pop_back();
    }
  }
  ~LoopDevice() {
    if (!path_.empty()) std::system(("losetup -d " + path_).c_str());
  }
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Runs `body` in a child process that gave up root for the user `nobody`
// (no groups, no capabilities) and returns what it returned; "child failed"
// when it could not drop root or did not finish. The caller must be root.
inline std::string run_as_nobody(const std::function<std::string()>& body) {
  const struct passwd* nobody = ::getpwnam("nobody");
  if (!nobody) return "no user nobody";
  const uid_t uid = nobody->pw_uid;
  const gid_t gid = nobody->pw_gid;
  int out[2];
  if (::pipe(out) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(out[0]);
    std::string result = "child failed";
    if (::setgroups(0, nullptr) == 0 && ::setresgid(gid, gid, gid) == 0 &&
        ::setresuid(uid, uid, uid) == 0 && ::getuid() == uid)
      result = body();
    const ssize_t ignored = ::write(out[1], result.data(), result.size());
    static_cast<void>(ignored);
    ::_exit(0);
  }
  ::close(out[1]);
  std::string result;
  std::array<char, 512> chunk;
  for (ssize_t n; child > 0 && (n = ::read(out[0], chunk.data(), chunk.size())) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    result.append(chunk.data(), static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
    return "child failed";
  return result;
}

// A drive that opened read-only: it reads its first block and refuses to
// write it back.
inline void expect_read_only_drive(Drive* drive, Error error) {
  ASSERT_TRUE(drive);
  EXPECT_EQ(error, Error::none);
  EXPECT_TRUE(dynamic_cast<LinuxDrive&>(*drive).read_only());
  std::array<std::byte, 512> block;
  EXPECT_EQ(drive->read(block).count, 512u);
  EXPECT_EQ(drive->write(block), Error::read_only);
}

}  // namespace tessil::platform::linux_os::testing
