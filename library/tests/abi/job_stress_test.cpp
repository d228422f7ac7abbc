// A thousand jobs through the dlopened library under load: each one is
// started, polled from a second thread, queried for its drive while it runs
// and cancelled at a random moment. The ThreadSanitizer build runs it too
// (label library), where any race the load provokes fails it.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "tessil.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Loaded as the program loads it, and never unloaded: a job may outlive a
// failed check.
void* library() {
  static void* const handle = dlopen(TESSIL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  return handle;
}

template <auto& Function>
auto entry(const char* name) {
  return reinterpret_cast<decltype(&Function)>(library() ? dlsym(library(), name) : nullptr);
}

struct EntryPoints {
  decltype(&::getdriveinfo) getdriveinfo = entry<::getdriveinfo>("getdriveinfo");
  decltype(&::readdisk) readdisk = entry<::readdisk>("readdisk");
  decltype(&::writedisk) writedisk = entry<::writedisk>("writedisk");
  decltype(&::getporcentage) getporcentage = entry<::getporcentage>("getporcentage");
  decltype(&::intcancel) intcancel = entry<::intcancel>("intcancel");
  decltype(&::retvalue) retvalue = entry<::retvalue>("retvalue");
  decltype(&::getreturnvalue) getreturnvalue = entry<::getreturnvalue>("getreturnvalue");
};

std::string patterned(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 29 + i / 512) & 0xFF);
  return bytes;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t entries(const char* folder) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// The thread count once it stops changing: a worker clears its busy flag a
// moment before it has ended.
std::size_t settled_thread_count() {
  std::size_t count = entries("/proc/self/task");
  for (int i = 0; i < 100; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::size_t now = entries("/proc/self/task");
    if (now == count) break;
    count = now;
  }
  return count;
}

int32_t finish(const EntryPoints& lib) {
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (lib.retvalue() != 0) {
    if (Clock::now() > deadline) return -1;
    std::this_thread::yield();
  }
  return lib.getreturnvalue();
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

constexpr std::size_t disk_size = 256 * 512;
constexpr int cycles = 1000;

TEST(JobStress, AThousandJobsPolledQueriedAndCancelledAtRandom) {
  ASSERT_NE(library(), nullptr) << dlerror();
  const EntryPoints lib;
  std::string pattern = (fs::temp_directory_path() / "tessil-stress-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  const std::string drive = dir / "drive.fd", whole = dir / "whole.img", part = dir / "part.img";
  const std::string original = patterned(disk_size);
  std::ofstream(drive, std::ios::binary) << original;
  setenv("TESSIL_DRIVE_A", drive.c_str(), 1);

  // The geometry query that a user may make while a job runs.
  const auto query_drive = [&lib] {
    int32_t geometry[5] = {};
    EXPECT_EQ(
        lib.getdriveinfo("A", &geometry[0], &geometry[1], &geometry[2], &geometry[3], &geometry[4]),
        1);
    EXPECT_EQ(geometry[4], static_cast<int32_t>(disk_size));
  };
  std::size_t fds = 0, threads = 0;
  Clock::duration job_length{};
  {
    const Silenced quiet;
    // Whole jobs first: the image the write jobs put back, the length of a
    // job here (sanitizers slow it many times), and the sanitizer runtime's
    // own thread, which starts with the process's second.
    ASSERT_EQ(lib.readdisk("A", whole.c_str(), "stress"), 0);
    ASSERT_EQ(finish(lib), JOB_OK);
    constexpr int timed = 4;
    const auto start = Clock::now();
    for (int i = 0; i < timed; ++i) {
      ASSERT_EQ(i % 2 ? lib.writedisk("A", whole.c_str()) : lib.readdisk("A", part.c_str(), "s"),
                0);
      ASSERT_EQ(finish(lib), JOB_OK);
    }
    job_length = (Clock::now() - start) / timed;
  }
  fds = entries("/proc/self/fd");
  threads = settled_thread_count();

  std::atomic<bool> stop{false};
  std::atomic<long> polls{0}, odd_values{0};
  std::thread poller([&] {
    while (!stop.load()) {
      const int32_t busy = lib.retvalue(), percent = lib.getporcentage();
      const int32_t code = lib.getreturnvalue();
      if (busy < 0 || busy > 1 || percent < 0 || percent > 100 || code < 0 ||
          code > JOB_SHORT_WRITE)
        ++odd_values;
      ++polls;
      std::this_thread::yield();
    }
  });

  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  // Up to one and a half jobs' length: most cancels land inside a job, some
  // after it has ended.
  std::uniform_int_distribution<long> delay_us(
      0, std::chrono::duration_cast<std::chrono::microseconds>(job_length).count() * 3 / 2);
  int cancelled = 0, done = 0;
  {
    const Silenced quiet;
    for (int i = 0; i < cycles; ++i) {
      const bool writing = i % 2 == 1;
      ASSERT_EQ(writing ? lib.writedisk("A", whole.c_str()) : lib.readdisk("A", part.c_str(), "s"),
                0)
          << "job " << i << ", seed " << seed;
      const auto cancel_at = Clock::now() + std::chrono::microseconds(delay_us(random));
      query_drive();
      std::this_thread::sleep_until(cancel_at);
      lib.intcancel();
      const int32_t result = finish(lib);
      ASSERT_TRUE(result == JOB_OK || result == JOB_CANCELLED)
          << "job " << i << " ended with " << result << ", seed " << seed;
      (result == JOB_OK ? done : cancelled) += 1;
    }
  }
  stop = true;
  poller.join();

  EXPECT_EQ(odd_values.load(), 0);
  EXPECT_GT(polls.load(), cycles);
  EXPECT_GT(cancelled, 0) << "seed " << seed;
  // The write jobs put back what the drive held, cancelled or not.
  EXPECT_EQ(read_file(drive), original);
  EXPECT_EQ(entries("/proc/self/fd"), fds);
  EXPECT_EQ(settled_thread_count(), threads);
  unsetenv("TESSIL_DRIVE_A");
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  std::printf("%d jobs: %d cancelled, %d done; %ld polls\n", cycles, cancelled, done, polls.load());
}

}  // namespace
