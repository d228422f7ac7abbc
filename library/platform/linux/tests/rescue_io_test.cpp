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
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
      << "no temporary file is left";
}

// Names planted where a command writes are never written through: a link at
// the final name is replaced as a link, a taken name is never opened as new,
// and nothing is replaced that was not meant to be.
TEST(RescueIo, PlantedLinksAndTakenNamesAreNeverWrittenThrough) {
  TempDir dir;
  const std::string victim = (dir / "victim").string();
  const std::string map = (dir / "disk.map").string();
  testing::write_file(victim, testing::pattern(100));
  std::filesystem::create_symlink(victim, map);
  EXPECT_EQ(system().replace_file(map.c_str(), "map\n", false), Error::exists);
  EXPECT_EQ(system().replace_file(map.c_str(), "map\n"), Error::none);
  EXPECT_FALSE(std::filesystem::is_symlink(map));
  EXPECT_EQ(testing::read_file(victim), testing::pattern(100));

  const std::string taken = (dir / "taken").string();
  std::filesystem::create_symlink(victim, taken);
  Error error = Error::none;
  EXPECT_FALSE(system().open_image(taken.c_str(), ImageMode::create_new, error));
  EXPECT_EQ(error, Error::exists);

  const std::string first = system().temporary_name_beside(map.c_str());
  const std::string second = system().temporary_name_beside(map.c_str());
  EXPECT_NE(first, second);
  EXPECT_EQ(std::filesystem::path(first).parent_path(), dir.path());
  testing::write_file(first, testing::pattern(10));
  EXPECT_EQ(system().publish(first.c_str(), victim.c_str(), false), Error::exists);
  EXPECT_EQ(testing::read_file(victim), testing::pattern(100));
  EXPECT_TRUE(same_file(victim, (dir / "." / ".." / dir.path().filename() / "taken").string()));
  EXPECT_TRUE(same_file((dir / "a" / ".." / "new").string(), (dir / "new").string()));
}

// A file deleted or renamed away while it was written is no longer its name.
TEST(RescueIo, AnImageKnowsWhetherItsNameStillLeadsToIt) {
  TempDir dir;
  const std::string path = (dir / "image").string();
  Error error = Error::none;
  std::unique_ptr<ImageFile> file = system().open_image(path.c_str(), ImageMode::create_new, error);
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->named_by(path.c_str()));
  std::filesystem::rename(path, path + ".moved");
  testing::write_file(path, testing::pattern(1));
  EXPECT_EQ(file->finish(), Error::none);
  EXPECT_FALSE(file->named_by(path.c_str()));
  EXPECT_TRUE(file->named_by((path + ".moved").c_str()));
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
