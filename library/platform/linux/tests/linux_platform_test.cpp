// The platform's smaller services: syncing files, the version record, the
// debugger channel, threads.
#include "platform/linux/linux_platform.h"

#include <sys/stat.h>
#include <sys/utsname.h>

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>

#include "platform/linux/debug_channel.h"
#include "platform/linux/errno_map.h"
#include "test_support.h"

namespace tessil::platform::linux_os {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

TEST(ImageFile, CreatesEmptiesAndReadsRegularFilesOnly) {
  TempDir dir;
  const std::string path = (dir / "image").string();
  testing::sized_file(path, 5000);  // an older, longer image is emptied first
  Error error = Error::other;
  std::unique_ptr<ImageFile> out = system().open_image(path.c_str(), ImageMode::create, error);
  ASSERT_TRUE(out);
  const std::vector<std::byte> data = testing::pattern(100'000);  // more than one buffer
  EXPECT_EQ(out->write(data), Error::none);
  EXPECT_EQ(out->finish(), Error::none);
  out.reset();
  EXPECT_EQ(testing::read_file(path), data);

  std::unique_ptr<ImageFile> in = system().open_image(path.c_str(), ImageMode::read, error);
  ASSERT_TRUE(in);
  std::vector<std::byte> back(data.size() + 10);
  const ReadResult got = in->read(back);
  EXPECT_EQ(got.count, data.size());
  EXPECT_TRUE(got.end);
  EXPECT_FALSE(got.failed());

  // Neither a FIFO nor a character device is ever waited on or emptied.
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  for (const char* other : {"fifo", "/dev/null"}) {
    const std::string p = other[0] == '/' ? other : (dir / other).string();
    for (ImageMode mode : {ImageMode::read, ImageMode::create}) {
      EXPECT_FALSE(system().open_image(p.c_str(), mode, error)) << p;
      EXPECT_NE(error, Error::none);
    }
  }
  EXPECT_FALSE(system().open_image((dir / "none" / "x").c_str(), ImageMode::create, error));
  EXPECT_EQ(error, Error::not_found);
}

TEST(ErrnoMap, EachFailureKeepsItsMeaning) {
  // ENXIO is the floppy driver's empty drive: it must never read as a
  // missing drive or a failed medium.
  const std::pair<int, Error> rows[] = {{0, Error::none},
                                        {ENXIO, Error::no_medium},
                                        {ENOMEDIUM, Error::no_medium},
                                        {ENOENT, Error::not_found},
                                        {ENODEV, Error::not_found},
                                        {EACCES, Error::access_denied},
                                        {EPERM, Error::access_denied},
                                        {EBUSY, Error::busy},
                                        {EROFS, Error::read_only},
                                        {ENOSPC, Error::no_space},
                                        {EDQUOT, Error::no_space},
                                        {EIO, Error::io},
                                        {EINVAL, Error::other}};
  for (const auto& [code, error] : rows) EXPECT_EQ(error_from_errno(code), error) << code;
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
