// What the tests of the dlopen'ed libtessil.so share: the library bound as
// the program binds it, temporary files, drives pointed at files, and the
// process's own descriptors and threads.
#pragma once

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "tessil.h"

namespace tessil::abi {

namespace fs = std::filesystem;

struct Library {
  void* handle = nullptr;
  decltype(&::getdriveinfo) getdriveinfo = nullptr;
  decltype(&::getimageinfo) getimageinfo = nullptr;
  decltype(&::readdisk) readdisk = nullptr;
  decltype(&::writedisk) writedisk = nullptr;
  decltype(&::getporcentage) getporcentage = nullptr;
  decltype(&::intcancel) intcancel = nullptr;
  decltype(&::retvalue) retvalue = nullptr;
  decltype(&::getreturnvalue) getreturnvalue = nullptr;
  decltype(&::getversion) getversion = nullptr;
};

template <typename F>
inline void bind(void* handle, F& function, const char* name) {
  function = reinterpret_cast<F>(dlsym(handle, name));
}

inline Library load() {
  Library l;
  l.handle = dlopen(TESSIL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  if (!l.handle) return l;
  bind(l.handle, l.getdriveinfo, "getdriveinfo");
  bind(l.handle, l.getimageinfo, "getimageinfo");
  bind(l.handle, l.readdisk, "readdisk");
  bind(l.handle, l.writedisk, "writedisk");
  bind(l.handle, l.getporcentage, "getporcentage");
  bind(l.handle, l.intcancel, "intcancel");
  bind(l.handle, l.retvalue, "retvalue");
  bind(l.handle, l.getreturnvalue, "getreturnvalue");
  bind(l.handle, l.getversion, "getversion");
  return l;
}

// Loaded once, like the program does, and kept for the whole process.
inline Library& library() {
  static Library lib = load();
  return lib;
}

inline std::string run(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    if (pclose(pipe) != 0) return "";
  }
  return out;
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tessil-abi-XXXXXX").string();
    root_ = mkdtemp(pattern.data()) ? pattern : "";
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  std::string path(const std::string& name) const { return root_ + "/" + name; }

 private:
  std::string root_;
};

inline std::string patterned(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>((i * 31 + i / 512 + seed) & 0xFF);
  return bytes;
}

inline void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Polls `condition` until it holds; false once `limit` has passed.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::seconds limit = std::chrono::seconds(120)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Waits for the job as the program does: poll, then take the code.
inline int32_t finish(const Library& lib = library()) {
  if (!eventually([&lib] { return lib.retvalue() == 0; })) return -1;
  return lib.getreturnvalue();
}

// Points drive letter `letter` at `path` for this test.
class DriveOn {
 public:
  DriveOn(const char* letter, const std::string& path)
      : name_(std::string("TESSIL_DRIVE_") + letter) {
    setenv(name_.c_str(), path.c_str(), 1);
  }
  ~DriveOn() { unsetenv(name_.c_str()); }

 private:
  std::string name_;
};

inline std::size_t entries(const char* folder) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// The process's thread count once it stops changing: a worker clears its
// busy flag a moment before it has ended.
inline std::size_t settled_thread_count() {
  std::size_t count = entries("/proc/self/task");
  for (int i = 0; i < 100; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::size_t now = entries("/proc/self/task");
    if (now == count) break;
    count = now;
  }
  return count;
}

// Standard output goes nowhere while it lives: every geometry query prints
// its lines there.
class Silenced {
 public:
  Silenced() {
    std::fflush(stdout);
    saved_ = dup(1);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    dup2(null, 1);
    close(null);
  }
  ~Silenced() {
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
  }
  Silenced(const Silenced&) = delete;
  Silenced& operator=(const Silenced&) = delete;

 private:
  int saved_;
};

// What the process prints on standard output while `body` runs.
inline std::string printed(const std::function<void()>& body) {
  std::fflush(stdout);
  char name[] = "/tmp/tessil-stdout-XXXXXX";
  const int file = mkstemp(name);
  const int saved = dup(1);
  dup2(file, 1);
  body();
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  close(file);
  const std::string text = read_file(name);
  unlink(name);
  return text;
}

}  // namespace tessil::abi
