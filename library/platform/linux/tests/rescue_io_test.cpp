// What the rescue read needs of the platform: reads at an offset, an image
// updated in place, a map file replaced in one step.
#include <fcntl.h>
#include <linux/fd.h>
#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

#include "platform/linux/unique_fd.h"
#include "platform/platform.h"
#include "test_support.h"

namespace tessil::platform::linux_os {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

TEST(RescueIo, FileDriveReadsAtAnyOffsetAndSaysWhereItEnds) {
  TempDir dir;
  testing::write_file(dir / "disk.img", testing::pattern(8 * 512));
  const ScopedEnv env("TESSIL_DRIVE_T", (dir / "disk.img").string());
  Error error = Error::other;
  const std::unique_ptr<Drive> drive = system().open_drive("\\\\.\\T:", error);
  ASSERT_TRUE(drive);
  std::vector<std::byte> data(3 * 512);
  const ReadResult middle = drive->read_at(2 * 512, data);
  EXPECT_EQ(middle.count, data.size());
  EXPECT_EQ(data, testing::pattern(3 * 512, 2 * 512));
  const ReadResult tail = drive->read_at(6 * 512, data);
  EXPECT_EQ(tail.count, 2u * 512);
  EXPECT_TRUE(tail.end);
  EXPECT_FALSE(tail.failed());
}

TEST(RescueIo, ImageUpdatedInPlaceKeepsTheRest) {
  TempDir dir;
  const std::string path = (dir / "image").string();
  testing::write_file(path, testing::pattern(4096));
  Error error = Error::other;
  EXPECT_FALSE(system().open_image((dir / "none").c_str(), ImageMode::update, error));
  EXPECT_EQ(error, Error::not_found) << "an update never creates a file";

  std::unique_ptr<ImageFile> image = system().open_image(path.c_str(), ImageMode::update, error);
  ASSERT_TRUE(image);
  std::array<std::byte, 100> head;
  EXPECT_EQ(image->read(head).count, head.size());
  const std::vector<std::byte> patch = testing::pattern(300, 77777);
  EXPECT_EQ(image->write_at(1000, patch), Error::none);
  EXPECT_EQ(image->sync(), Error::none);
  EXPECT_EQ(image->finish(), Error::none);
  image.reset();

  std::vector<std::byte> expected = testing::pattern(4096);
  std::copy(patch.begin(), patch.end(), expected.begin() + 1000);
  EXPECT_EQ(testing::read_file(path), expected) << "read bytes are never written back";
}

TEST(RescueIo, ReplacedFileHoldsOnlyTheNewContent) {
  TempDir dir;
  const std::string path = (dir / "disk.map").string();
  testing::write_file(path, testing::pattern(5000));
  EXPECT_EQ(system().replace_file(path.c_str(), "new map\n"), Error::none);
  const std::vector<std::byte> bytes = testing::read_file(path);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()), "new map\n");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  EXPECT_NE(system().replace_file((dir / "none" / "x").c_str(), "x"), Error::none);
}

// A floppy-controller drive's error thresholds are lowered while a rescue
// reads it and put back when the drive closes. Only on a real floppy
// driver: the QEMU rig runs it with TESSIL_TEST_FLOPPY=/dev/fd0.
TEST(RescueIo, FloppyDriverRetriesAreHeldShortAndRestored) {
  const char* floppy = std::getenv("TESSIL_TEST_FLOPPY");
  if (!floppy) GTEST_SKIP() << "set TESSIL_TEST_FLOPPY to a floppy-controller drive with a disk";
  auto thresholds = [floppy] {
    floppy_max_errors errors{};
    const UniqueFd fd = open_fd(floppy, O_RDONLY | O_NONBLOCK);
    EXPECT_EQ(::ioctl(fd.get(), FDGETMAXERRS, &errors), 0);
    return errors;
  };
  const floppy_max_errors before = thresholds();
  const ScopedEnv env("TESSIL_DRIVE_F", floppy);
  {
    Error error = Error::other;
    const std::unique_ptr<Drive> drive = system().open_drive("\\\\.\\F:", DriveAccess::read, error);
    ASSERT_TRUE(drive);
    std::vector<std::byte> track(18 * 512);
    EXPECT_EQ(drive->read_at(0, track).count, track.size());
    const floppy_max_errors during = thresholds();
    EXPECT_EQ(during.abort, 0u);
    EXPECT_EQ(during.read_track, 0u);
  }
  const floppy_max_errors after = thresholds();
  EXPECT_EQ(after.abort, before.abort);
  EXPECT_EQ(after.read_track, before.read_track);
  EXPECT_EQ(after.reset, before.reset);
}

}  // namespace
}  // namespace tessil::platform::linux_os
