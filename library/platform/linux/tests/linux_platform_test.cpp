// The platform's smaller services: syncing files, the version record, the
// debugger channel, threads.
#include "platform/linux/linux_platform.h"

#include <sys/utsname.h>

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>

#include "platform/linux/debug_channel.h"
#include "test_support.h"

namespace tessil::platform::linux_os {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

TEST(SyncFile, FilesAndDevicesThatCannotBeSynced) {
  TempDir dir;
  std::FILE* file = std::fopen((dir / "image").c_str(), "wb");
  ASSERT_TRUE(file);
  std::fputs("data", file);
  std::fflush(file);
  EXPECT_TRUE(system().sync_file(file));
  std::fclose(file);

  std::FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_TRUE(full);
  EXPECT_TRUE(system().sync_file(full));
  std::fclose(full);
  EXPECT_FALSE(system().sync_file(nullptr));
}

TEST(ProbeFile, OpensTheLiteralPath) {
  TempDir dir;
  testing::sized_file(dir / "file.txt", 1);
  EXPECT_TRUE(system().probe_file((dir / "file.txt").c_str()));
  EXPECT_FALSE(system().probe_file((dir / "A:\\file.txt").c_str()));
  EXPECT_FALSE(system().probe_file(nullptr));
}

TEST(Version, KernelRelease) {
  const std::optional<VersionInfo> v = version_of_release("6.1.0-18-amd64");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->platform_id, 2u);
  EXPECT_EQ(v->major, 6u);
  EXPECT_EQ(v->minor, 1u);
  EXPECT_EQ(version_of_release("10.12")->minor, 12u);
  for (const char* bad : {"", "6", "6.", "6-rc1", "x.1", "6.x", "-6.1", "99999999999.1"})
    EXPECT_FALSE(version_of_release(bad)) << bad;

  utsname names{};
  ASSERT_EQ(::uname(&names), 0);
  EXPECT_EQ(system().version()->major, version_of_release(names.release)->major);
}

class DebugChannel : public ::testing::Test {
 protected:
  ~DebugChannel() override { reread_debug_target_for_testing(); }
  std::string log() {
    std::ostringstream text;
    text << std::ifstream(dir_ / "debug.log").rdbuf();
    return text.str();
  }
  TempDir dir_;
};

TEST_F(DebugChannel, SilentUnlessConfigured) {
  {
    const ScopedEnv env("TESSIL_DEBUG", "");
    reread_debug_target_for_testing();
    ::testing::internal::CaptureStderr();
    system().debug_output("unheard\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  }
  const ScopedEnv env("TESSIL_DEBUG", "stderr");
  reread_debug_target_for_testing();
  ::testing::internal::CaptureStderr();
  system().debug_output("heard \n");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "heard \n");
}

TEST_F(DebugChannel, AppendsWholeLinesFromManyThreads) {
  const ScopedEnv env("TESSIL_DEBUG", (dir_ / "debug.log").string());
  reread_debug_target_for_testing();
  system().debug_output("first\n");
  {
    // The variable is read once: a change is not seen until re-read.
    const ScopedEnv moved("TESSIL_DEBUG", (dir_ / "other.log").string());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([] {
        for (int i = 0; i < 50; ++i) system().debug_output("a line from a worker\n");
      });
    for (std::thread& thread : threads) thread.join();
  }
  const std::string text = log();
  EXPECT_TRUE(text.starts_with("first\n"));
  std::istringstream lines(text.substr(6));
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count)
    EXPECT_EQ(line, "a line from a worker");
  EXPECT_EQ(count, 200);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "other.log"));
}

TEST(StartThread, RunsTheBodyDetached) {
  std::atomic<bool> ran{false};
  ASSERT_TRUE(system().start_thread([&ran] { ran.store(true, std::memory_order_release); }));
  while (!ran.load(std::memory_order_acquire)) std::this_thread::yield();
}

}  // namespace
}  // namespace tessil::platform::linux_os
