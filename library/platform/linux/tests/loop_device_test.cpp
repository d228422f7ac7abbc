// The platform on real block devices: loop devices over image files. Needs
// root and losetup; skipped otherwise.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>

#include "platform/linux/linux_drive.h"
#include "platform/linux/unique_fd.h"
#include "platform/platform.h"
#include "test_support.h"

namespace tessil::platform::linux_os {
namespace {

using testing::LoopDevice;
using testing::ScopedEnv;
using testing::TempDir;

class LoopDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "loop devices need root";
    if (std::system("command -v losetup >/dev/null 2>&1") != 0) GTEST_SKIP() << "no losetup";
  }
  // Attaches `size` bytes of the test pattern; skips when no loop device is free.
  std::unique_ptr<LoopDevice> attach(std::size_t size, bool read_only = false) {
    testing::write_file(image(), testing::pattern(size));
    auto loop = std::make_unique<LoopDevice>(image(), read_only);
    if (loop->path().empty()) return nullptr;
    return loop;
  }
  std::filesystem::path image() const { return dir_ / "disk.img"; }

  TempDir dir_;
};

#define ATTACH_OR_SKIP(loop, ...)                                      \
  const std::unique_ptr<LoopDevice> loop = attach(__VA_ARGS__);        \
  if (!loop) GTEST_SKIP() << "losetup could not attach a loop device"; \
  const ScopedEnv env_##loop("TESSIL_DRIVE_L", loop->path())

constexpr std::string_view drive_l = "\\\\.\\L:";

TEST_F(LoopDeviceTest, GeometryOfAFloppyImage) {
  ATTACH_OR_SKIP(loop, 1'474'560);
  DriveGeometry g;
  ASSERT_EQ(system().query_geometry(drive_l, g), Error::none);
  EXPECT_EQ(g.cylinders, 80);
  EXPECT_EQ(g.tracks_per_cylinder, 2u);
  EXPECT_EQ(g.sectors_per_track, 18u);
  EXPECT_EQ(g.bytes_per_sector, 512u);
  EXPECT_EQ(g.media_type, 2u);
}

TEST_F(LoopDeviceTest, ReadsWritesAndStopsAtTheEnd) {
  ATTACH_OR_SKIP(loop, 2048);
  Error error = Error::other;
  const std::unique_ptr<Drive> drive = system().open_drive(drive_l, error);
  ASSERT_TRUE(drive);
  EXPECT_EQ(error, Error::none);

  std::array<std::byte, 512> block;
  ASSERT_EQ(drive->read(block).count, 512u);
  EXPECT_EQ(std::vector(block.begin(), block.end()), testing::pattern(512));
  const std::vector<std::byte> data = testing::pattern(3 * 512, 9999);
  EXPECT_EQ(drive->write(data), Error::none);  // blocks 1 to 3: the last of the device
  EXPECT_EQ(drive->write(std::span(data).first(512)), Error::no_space);
  EXPECT_EQ(drive->read(block).count, 0u);
  EXPECT_EQ(drive->flush(), Error::none);

  std::vector<std::byte> expected = testing::pattern(512);
  expected.insert(expected.end(), data.begin(), data.end());
  EXPECT_EQ(testing::read_file(image()), expected);
}

TEST_F(LoopDeviceTest, ReadsAtAnOffsetPastTheCache) {
  ATTACH_OR_SKIP(loop, 64 * 512);
  Error error = Error::other;
  const std::unique_ptr<Drive> drive = system().open_drive(drive_l, error);
  ASSERT_TRUE(drive);
  // Direct reads want aligned buffers; the caller's need not be.
  std::vector<std::byte> storage(3 * 512 + 1);
  const std::span<std::byte> data = std::span(storage).subspan(1);
  EXPECT_EQ(drive->read_at(5 * 512, data).count, data.size());
  EXPECT_EQ(std::vector(data.begin(), data.end()), testing::pattern(3 * 512, 5 * 512));
  // A buffered read would now be answered from the cache; a read at an
  // offset sees what another writer put on the device since.
  const UniqueFd buffered = open_fd(loop->path().c_str(), O_RDONLY);
  std::array<std::byte, 512> cached;
  ASSERT_EQ(::pread(buffered.get(), cached.data(), cached.size(), 0), 512);
  {
    const UniqueFd fd = open_fd(image().c_str(), O_WRONLY);
    const std::vector<std::byte> fresh = testing::pattern(512, 31337);
    ASSERT_EQ(::pwrite(fd.get(), fresh.data(), fresh.size(), 0), 512);
    ASSERT_EQ(::fsync(fd.get()), 0);
  }
  EXPECT_EQ(drive->read_at(0, data.first(512)).count, 512u);
  EXPECT_EQ(std::vector(data.begin(), data.begin() + 512), testing::pattern(512, 31337));
  ASSERT_EQ(::pread(buffered.get(), cached.data(), cached.size(), 0), 512);
  EXPECT_EQ(std::vector(cached.begin(), cached.end()), testing::pattern(512))
      << "the cache is stale";
  const ReadResult tail = drive->read_at(63 * 512, data);
  EXPECT_EQ(tail.count, 512u);
  EXPECT_TRUE(tail.end);
}

TEST_F(LoopDeviceTest, ReadOnlyDeviceOpensReadOnly) {
  ATTACH_OR_SKIP(loop, 1'474'560, true);
  Error error = Error::other;
  const std::unique_ptr<Drive> drive = system().open_drive(drive_l, error);
  testing::expect_read_only_drive(drive.get(), error);

  // Read-only is still exclusive.
  EXPECT_FALSE(system().open_drive(drive_l, error));
  EXPECT_EQ(error, Error::busy);
}

TEST_F(LoopDeviceTest, HeldExclusivelyElsewhereIsBusy) {
  ATTACH_OR_SKIP(loop, 1'474'560);
  const UniqueFd holder = open_fd(loop->path().c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
  ASSERT_TRUE(holder);
  Error error = Error::none;
  EXPECT_FALSE(system().open_drive(drive_l, error));
  EXPECT_EQ(error, Error::busy);
  // A geometry query only looks, and still answers.
  DriveGeometry g;
  EXPECT_EQ(system().query_geometry(drive_l, g), Error::none);
}

}  // namespace
}  // namespace tessil::platform::linux_os
