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

#include "abi_support.h"
#include "tessil.h"

namespace {

using namespace tessil::abi;
using Clock = std::chrono::steady_clock;

constexpr std::size_t disk_size = 256 * 512;
constexpr int cycles = 1000;

TEST(JobStress, AThousandJobsPolledQueriedAndCancelledAtRandom) {
  const Library& lib = library();
  ASSERT_NE(lib.handle, nullptr) << dlerror();
  const TempDir dir;
  const std::string drive = dir.path("drive.fd"), whole = dir.path("whole.img"),
                    part = dir.path("part.img");
  const std::string original = patterned(disk_size, 0);
  write_file(drive, original);
  const DriveOn a("A", drive);

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
  std::printf("%d jobs: %d cancelled, %d done; %ld polls\n", cycles, cancelled, done, polls.load());
}

}  // namespace
