// The fixture of tessil-cli's end-to-end tests: the built program run on
// file-backed drives in a folder of its own, with its outputs and files.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "image_format.h"
#include "rescue/rescue_map.h"

extern char** environ;

namespace tessil::cli_test {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;
using Env = std::map<std::string, std::string>;

constexpr uint64_t floppy_size = 1474560;  // 80 x 2 x 18 x 512
constexpr uint64_t big_size = 256ull << 20;

struct Result {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

inline std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void put(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Bytes that differ at every offset, so a misplaced block shows.
inline std::string pattern(uint64_t size) {
  std::string bytes(size, '\0');
  for (uint64_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 509) & 0xFF);
  return bytes;
}

inline std::string header(uint32_t cylinders, uint32_t heads, uint32_t sectors, const char* label) {
  ImageHeader h{cylinders, heads, sectors, 512, {}};
  tessil::set_label(h, label);
  const tessil::HeaderBytes bytes = tessil::encode_header(h);
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

inline int status_of(int wait_status) {
  return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
}

// Waits until `pid` handles `signal` itself (its caught signals in /proc),
// so that a signal sent then reaches the program's handler, however long a
// loaded machine takes to start it. False after `limit`.
inline bool wait_until_catching(pid_t pid, int signal,
                                std::chrono::seconds limit = std::chrono::seconds(30)) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < until) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
      if (line.starts_with("SigCgt:") &&
          (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1))
        return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// Waits for `pid` at most `limit`; kills it when it takes longer.
inline int wait_for(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(120)) {
  const auto deadline = Clock::now() + limit;
  int wait_status = 0;
  while (::waitpid(pid, &wait_status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &wait_status, 0);
      ADD_FAILURE() << "the program did not end in time";
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return status_of(wait_status);
}

// A FAT12 floppy with BIG.BIN from sector 33 on, made with mkfs.fat and
// mtools; empty when they are missing.
inline std::string fat_floppy(const fs::path& dir) {
  const std::string script = "cd '" + dir.string() +
                             "' && mkfs.fat -C -F 12 fat.img 1440 >/dev/null"
                             " && (yes 'tessil rescue test data' || true) | head -c 300000 >big"
                             " && mcopy -i fat.img big ::/BIG.BIN 2>/dev/null";
  if (std::system(script.c_str()) != 0) return {};
  return slurp(dir / "fat.img");
}

// The 512 bytes of disk sector `sector` in an image file's data.
inline std::string image_sector(const std::string& image, uint64_t sector) {
  return image.substr(tessil::image_header_size + sector * 512, 512);
}

// A map of a 1.44 MB disk whose sectors in `bad` (in order) are bad, the
// rest rescued.
inline std::string map_with_bad(const std::vector<uint64_t>& bad) {
  std::string text = "# Mapfile\n0x00000000     +               1\n";
  char line[64];
  uint64_t at = 0;
  const auto area = [&](uint64_t end, char status) {
    if (end == at) return;
    std::snprintf(line, sizeof line, "0x%08llX  0x%08llX  %c\n",
                  static_cast<unsigned long long>(at * 512),
                  static_cast<unsigned long long>((end - at) * 512), status);
    text += line;
    at = end;
  };
  for (const uint64_t sector : bad) {
    area(sector, '+');
    area(sector + 1, '-');
  }
  area(floppy_size / 512, '+');
  return text;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern_text = (fs::temp_directory_path() / "tessil-cli-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern_text.data()), nullptr);
    root_ = pattern_text;
    // The program works in a directory of its own; its outputs go beside it.
    dir_ = root_ / "files";
    fs::create_directory(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  fs::path at(const std::string& name) const { return dir_ / name; }

  // A file-backed drive `letter` holding `bytes`, or a sparse one of `size`.
  void drive(char letter, const std::string& bytes) {
    const fs::path path = at(std::string("drive-") + letter);
    put(path, bytes);
    env_[std::string("TESSIL_DRIVE_") + letter] = path.string();
  }
  void sparse_drive(char letter, uint64_t size) {
    drive(letter, "");
    fs::resize_file(at(std::string("drive-") + letter), size);
  }
  std::string drive_bytes(char letter) const { return slurp(at(std::string("drive-") + letter)); }

  // The program's environment: this one without drives or a trace channel
  // of its own, plus the test's drives.
  std::vector<std::string> environment() const {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry)
      if (!std::string_view(*entry).starts_with("TESSIL_")) entries.emplace_back(*entry);
    for (const auto& [name, value] : env_) entries.push_back(name + "=" + value);
    return entries;
  }

  // Starts `argv` in the test's directory with standard input from
  // `input` and the two outputs into files.
  pid_t start(std::vector<std::string> argv, const fs::path& input = "/dev/null") {
    const std::vector<std::string> env = environment();
    std::vector<char*> args, envp;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    for (const std::string& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    const std::string out = (root_ / "stdout").string(), err = (root_ / "stderr").string();
    // No output of an earlier run may pass for this one's.
    fs::remove(out);
    fs::remove(err);
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int in_fd = ::open(input.c_str(), O_RDONLY);
      const int out_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err_fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in_fd < 0 || out_fd < 0 || err_fd < 0 || ::dup2(in_fd, 0) < 0 || ::dup2(out_fd, 1) < 0 ||
          ::dup2(err_fd, 2) < 0 || ::chdir(dir_.c_str()) != 0)
        ::_exit(127);
      ::execve(args[0], args.data(), envp.data());
      ::_exit(127);
    }
    return pid;
  }

  Result finish(pid_t pid) {
    Result result;
    result.status = wait_for(pid);
    result.out = slurp(root_ / "stdout");
    result.err = slurp(root_ / "stderr");
    return result;
  }

  Result cli(std::vector<std::string> args, const fs::path& input = "/dev/null") {
    args.insert(args.begin(), TESSIL_CLI_PATH);
    return finish(start(std::move(args), input));
  }

  // Runs the program on a terminal, typing `typed`; both outputs arrive
  // mixed, as a user sees them.
  Result on_terminal(std::vector<std::string> args, const std::string& typed) {
    args.insert(args.begin(), TESSIL_CLI_PATH);
    const std::vector<std::string> env = environment();
    std::vector<char*> argv, envp;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    for (const std::string& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
      if (::chdir(dir_.c_str()) == 0) ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    Result result;
    if (pid < 0) {
      ADD_FAILURE() << "no terminal: " << std::strerror(errno);
      return result;
    }
    EXPECT_EQ(::write(terminal, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    // Read until the program closes the terminal (EIO), or give up.
    char buffer[4096];
    for (pollfd p{terminal, POLLIN, 0}; ::poll(&p, 1, 60000) > 0;) {
      const ssize_t n = ::read(terminal, buffer, sizeof buffer);
      if (n <= 0) break;
      result.out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(terminal);
    result.status = wait_for(pid);
    return result;
  }

  // The first word `program` prints about `file` (a checksum).
  std::string sum(const std::string& program, const fs::path& file) {
    const Result r = finish(start({program, file.string()}));
    return r.out.substr(0, r.out.find(' '));
  }

  // A FAT12 floppy of 1.44 MB labelled `label`, made by mkfs.fat; each has
  // a volume serial of its own.
  std::string fat_disk(const std::string& label) {
    const fs::path file = root_ / "fat.img";
    fs::remove(file);
    const Result r =
        finish(start({"/usr/sbin/mkfs.fat", "-C", "-n", label, file.string(), "1440"}));
    EXPECT_EQ(r.status, 0) << r.err;
    return slurp(file);
  }

  // Swaps the "disk" in file-backed drive `letter` at once, as a rename
  // does: the program never sees half a disk.
  void insert(char letter, const std::string& bytes) {
    const fs::path path = at(std::string("drive-") + letter);
    put(root_ / "swap", bytes);
    fs::rename(root_ / "swap", path);
    env_[std::string("TESSIL_DRIVE_") + letter] = path.string();
  }

  // Waits until `text` occurs `times` times in the running program's
  // standard output or error.
  bool wait_for_text(const char* stream, const std::string& text, int times = 1) {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    for (;;) {
      const std::string seen = slurp(root_ / stream);
      int found = 0;
      for (std::size_t at = seen.find(text); at != std::string::npos;
           at = seen.find(text, at + text.size()))
        ++found;
      if (found >= times) return true;
      if (Clock::now() > deadline) {
        ADD_FAILURE() << "no " << times << " x '" << text << "' in " << stream << ":\n" << seen;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  fs::path root_;
  fs::path dir_;
  Env env_;
};

}  // namespace tessil::cli_test
