// The read and the write job against scripted drives: every result code,
// and what each run leaves on the disk and in the image file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "image_format.h"
#include "job_state.h"
#include "progress.h"
#include "tessil.h"

namespace tessil {
namespace {

using testing::FakeMedium;
using testing::FakePlatform;
using testing::make_medium;
using testing::read_file;
using testing::TempDir;
using testing::wait_idle;
using testing::write_file;

constexpr std::size_t header = image_header_size;
constexpr std::size_t block = TESSIL_BLOCK_SIZE;
constexpr int32_t disk_144 = 80 * 2 * 18 * 512;

struct Outcome {
  int32_t code;
  int32_t progress;
};

Outcome finish() {
  EXPECT_TRUE(wait_idle());
  return {getreturnvalue(), getporcentage()};
}

// Starts a job, and cancels it while the fake holds it at `index`.
Outcome cancel_while_held(FakePlatform& fake, std::size_t index,
                          const std::function<int32_t()>& start) {
  fake.hold_at_block(index);
  EXPECT_EQ(start(), 0);
  EXPECT_TRUE(fake.wait_until_held());
  EXPECT_EQ(start(), 1) << "one job at a time";
  intcancel();
  fake.release();
  return finish();
}

std::vector<std::byte> image_of(const FakeMedium& medium, const std::string& label = "") {
  ImageHeader h{};
  h.cylinders = static_cast<uint32_t>(medium.geometry.cylinders);
  h.tracks_per_cylinder = medium.geometry.tracks_per_cylinder;
  h.sectors_per_track = medium.geometry.sectors_per_track;
  h.bytes_per_sector = medium.geometry.bytes_per_sector;
  std::memcpy(h.label, label.c_str(), label.size() + 1);
  const HeaderBytes bytes = encode_header(h);
  std::vector<std::byte> image(bytes.size() + medium.data.size());
  std::copy(bytes.begin(), bytes.end(), image.begin());
  std::copy(medium.data.begin(), medium.data.end(), image.begin() + bytes.size());
  return image;
}

std::vector<std::byte> blank(std::size_t size) {
  return std::vector<std::byte>(size);
}

// The part of a blank disk from `from` on was not written.
bool untouched_from(const std::vector<std::byte>& disk, std::size_t from) {
  return std::all_of(disk.begin() + static_cast<std::ptrdiff_t>(from), disk.end(),
                     [](std::byte b) { return b == std::byte{0}; });
}

class ReadJob : public ::testing::Test {
 protected:
  Outcome read(const std::string& label = "My floppy image") {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(readdisk("A", image.c_str(), label.c_str()), 0);
    const Outcome outcome = finish();
    ::testing::internal::GetCapturedStdout();
    return outcome;
  }
  FakePlatform fake;
  TempDir dir;
  std::string image = dir.path("disk.img");
  FakeMedium medium = make_medium(80, 2, 18);
};

TEST_F(ReadJob, CopiesTheWholeDiskBehindItsHeader) {
  fake.insert("A", medium);
  const Outcome outcome = read("My floppy image");
  EXPECT_EQ(outcome.code, JOB_OK);
  EXPECT_EQ(outcome.progress, 100);
  const std::vector<std::byte> file = read_file(image);
  ASSERT_EQ(file.size(), header + disk_144);
  EXPECT_EQ(file, image_of(medium, "My floppy image"));
  EXPECT_EQ(fake.last_access(), platform::DriveAccess::read) << "reading needs no write access";
}

TEST_F(ReadJob, ReplacesAnExistingFile) {
  fake.insert("A", make_medium(40, 1, 8));
  write_file(image, blank(3'000'000));
  EXPECT_EQ(read().code, JOB_OK);
  EXPECT_EQ(read_file(image).size(), header + 40 * 8 * 512);
}

TEST_F(ReadJob, StopsBeforeCreatingAnythingWhenTheDriveIsEmpty) {
  medium.query_error = platform::Error::no_medium;
  fake.insert("A", medium);
  const Outcome outcome = read();
  EXPECT_EQ(outcome.code, JOB_NO_MEDIA);
  EXPECT_EQ(outcome.progress, 0);
  EXPECT_FALSE(std::filesystem::exists(image));
  EXPECT_EQ(fake.drive_opens(), 0);
}

TEST_F(ReadJob, AnImageThatCannotBeCreatedLeavesTheDriveClosed) {
  fake.insert("A", medium);
  image = dir.path("no/such/folder/disk.img");
  const Outcome outcome = read();
  EXPECT_EQ(outcome.code, JOB_IMAGE_CREATE_FAILED);
  EXPECT_EQ(outcome.progress, 0);
  EXPECT_EQ(fake.drive_opens(), 0);
}

TEST_F(ReadJob, NeverOpensAPathThatDidNotFit) {
  fake.insert("A", medium);
  // Its first 299 characters name a file that could be created.
  const std::string folder = dir.path(std::string(200, 'd'));
  std::filesystem::create_directory(folder);
  image = folder + "/" + std::string(200, 'p');
  EXPECT_EQ(read().code, JOB_IMAGE_CREATE_FAILED);
  EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST_F(ReadJob, NeverMakesADriveItsOwnImage) {
  fake.insert("A", medium);
  write_file(image, blank(disk_144));
  fake.place_drive_at("A", image);
  EXPECT_EQ(read().code, JOB_IMAGE_CREATE_FAILED);
  EXPECT_EQ(read_file(image), blank(disk_144)) << "the drive's file is not emptied";
  EXPECT_EQ(fake.drive_opens(), 0);
}

TEST_F(ReadJob, ADriveThatRefusesToOpenLeavesTheHeaderAlone) {
  medium.open_error = platform::Error::busy;
  fake.insert("A", medium);
  const Outcome outcome = read("kept");
  EXPECT_EQ(outcome.code, JOB_DRIVE_OPEN_FAILED);
  EXPECT_EQ(outcome.progress, 0);
  std::string label(300, ' ');
  getimageinfo(image.c_str(), label.data());
  EXPECT_EQ(read_file(image).size(), header);
  EXPECT_STREQ(label.c_str(), "kept");
}

TEST_F(ReadJob, AReadErrorEndsWithTheBlocksBeforeIt) {
  medium.read_error_at = 1000;
  fake.insert("A", medium);
  const Outcome outcome = read();
  EXPECT_EQ(outcome.code, JOB_SHORT_READ);
  EXPECT_EQ(outcome.progress, 100);
  const std::vector<std::byte> file = read_file(image);
  ASSERT_EQ(file.size(), header + 1000 * block);
  EXPECT_TRUE(std::equal(file.begin() + header, file.end(), medium.data.begin()));
}

TEST_F(ReadJob, AFullFileSystemIsAFileFailureNotADamagedDisk) {
  fake.insert("A", medium);
  fake.fill_image_file_system_after(header);
  const Outcome outcome = read();
  EXPECT_EQ(outcome.code, JOB_HEADER_WRITE_FAILED);
  EXPECT_EQ(outcome.progress, 100);
}

TEST_F(ReadJob, AFailingFlushOfTheImageIsNotReportedAsDone) {
  fake.insert("A", medium);
  fake.fail_image_sync(true);
  EXPECT_EQ(read().code, JOB_HEADER_WRITE_FAILED);
}

// A file deleted, or renamed away and replaced, while it was written is no
// image at its name: nothing there was read from the disk.
TEST_F(ReadJob, AnImageTakenAwayDuringTheReadIsNotDone) {
  fake.insert("A", medium);
  for (const bool replaced : {false, true}) {
    fake.hold_at_block(5);
    ASSERT_EQ(readdisk("A", image.c_str(), "x"), 0);
    ASSERT_TRUE(fake.wait_until_held());
    std::filesystem::rename(image, image + ".old");
    if (replaced) write_file(image, blank(10));
    fake.release();
    EXPECT_EQ(finish().code, JOB_HEADER_WRITE_FAILED) << replaced;
    std::filesystem::remove(image);
  }
}

TEST_F(ReadJob, ACancelBeforeTheFirstBlockStillCopiesOneBlock) {
  fake.insert("A", medium);
  const Outcome outcome =
      cancel_while_held(fake, 0, [this] { return readdisk("A", image.c_str(), "x"); });
  EXPECT_EQ(outcome.code, JOB_CANCELLED);
  EXPECT_EQ(outcome.progress, 100);
  EXPECT_EQ(read_file(image).size(), header + block);
}

TEST_F(ReadJob, ACancelWinsOverAShortCount) {
  medium.read_error_at = 10;
  fake.insert("A", medium);
  EXPECT_EQ(cancel_while_held(fake, 10, [this] { return readdisk("A", image.c_str(), "x"); }).code,
            JOB_CANCELLED);
}

TEST_F(ReadJob, StoresLabelsUpTo299Characters) {
  fake.insert("A", make_medium(40, 1, 8));
  read(std::string(299, 'L'));
  std::vector<std::byte> file = read_file(image);
  EXPECT_EQ(file[16], std::byte{'L'});
  EXPECT_EQ(file[314], std::byte{'L'});
  EXPECT_EQ(file[315], std::byte{0});

  read(std::string(500, 'M'));
  file = read_file(image);
  EXPECT_EQ(file[314], std::byte{'M'});
  EXPECT_EQ(file[315], std::byte{0}) << "a longer label is cut, its NUL kept in the field";
}

TEST_F(ReadJob, AGeometryQueryDuringTheJobDoesNotMoveIt) {
  fake.insert("A", medium);
  fake.insert("B", make_medium(40, 1, 9));
  fake.hold_at_block(5);
  ASSERT_EQ(readdisk("A", image.c_str(), "x"), 0);
  ASSERT_TRUE(fake.wait_until_held());
  int32_t c = 0, t = 0, s = 0, b = 0, size = 0;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(getdriveinfo("B", &c, &t, &s, &b, &size), 1);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(job_state().drivecopy.load(), "\\\\.\\B:");
  fake.release();
  EXPECT_EQ(finish().code, JOB_OK);
  EXPECT_EQ(read_file(image), image_of(medium, "x"));
}

class WriteJob : public ::testing::Test {
 public:
  void SetUp() override { write_file(image, image_of(source)); }
  Outcome write() {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(writedisk("A", image.c_str()), 0);
    const Outcome outcome = finish();
    ::testing::internal::GetCapturedStdout();
    return outcome;
  }
  void insert_target() {
    target.data = blank(target.data.size());
    fake.insert("A", target);
  }
  bool disk_untouched() { return fake.contents("A") == target.data; }

  FakePlatform fake;
  TempDir dir;
  std::string image = dir.path("disk.img");
  FakeMedium source = make_medium(80, 2, 18);
  FakeMedium target = make_medium(80, 2, 18);
};

TEST_F(WriteJob, PutsTheImageBackOntoTheDisk) {
  insert_target();
  const Outcome outcome = write();
  EXPECT_EQ(outcome.code, JOB_OK);
  EXPECT_EQ(outcome.progress, 100);
  EXPECT_EQ(fake.contents("A"), source.data);
  EXPECT_EQ(read_file(image), image_of(source)) << "the image is never changed";
  EXPECT_EQ(fake.last_access(), platform::DriveAccess::read_write);
}

TEST_F(WriteJob, EarlyFailuresLeaveTheDiskUntouched) {
  struct Case {
    const char* what;
    std::function<void(WriteJob&)> arrange;
    int32_t code;
  };
  const std::vector<Case> cases = {
      {"empty drive", [](WriteJob& t) { t.target.query_error = platform::Error::no_medium; },
       JOB_NO_MEDIA},
      {"missing image", [](WriteJob& t) { std::filesystem::remove(t.image); },
       JOB_IMAGE_OPEN_FAILED},
      {"empty image", [](WriteJob& t) { write_file(t.image, {}); }, JOB_HEADER_READ_FAILED},
      {"other geometry", [](WriteJob& t) { write_file(t.image, image_of(make_medium(80, 2, 9))); },
       JOB_GEOMETRY_MISMATCH},
      {"path too long", [](WriteJob& t) { t.image = t.dir.path(std::string(400, 'q')); },
       JOB_IMAGE_OPEN_FAILED},
      {"drive refused", [](WriteJob& t) { t.target.open_error = platform::Error::busy; },
       JOB_DRIVE_OPEN_FAILED},
      // Last: the fake keeps the drive at that path from here on.
      {"image is the drive", [](WriteJob& t) { t.fake.place_drive_at("A", t.image); },
       JOB_IMAGE_OPEN_FAILED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    target = make_medium(80, 2, 18);
    write_file(image = dir.path("disk.img"), image_of(source));
    c.arrange(*this);
    insert_target();
    const Outcome outcome = write();
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_EQ(outcome.progress, 0);
    EXPECT_TRUE(disk_untouched());
  }
  EXPECT_EQ(fake.drive_opens(), 0);
}

TEST_F(WriteJob, APartialHeaderIsAMismatchAndNeverOpensTheDrive) {
  insert_target();
  const std::vector<std::byte> full = image_of(source);
  for (std::size_t size :
       {std::size_t{1}, std::size_t{15}, std::size_t{16}, std::size_t{200}, header - 1}) {
    write_file(image, std::vector<std::byte>(full.begin(), full.begin() + size));
    EXPECT_EQ(write().code, JOB_GEOMETRY_MISMATCH) << size << " bytes";
  }
  EXPECT_EQ(fake.drive_opens(), 0);
  EXPECT_TRUE(disk_untouched());
}

TEST_F(WriteJob, AHeaderWithoutDataWritesNothing) {
  insert_target();
  const std::vector<std::byte> full = image_of(source);
  write_file(image, std::vector<std::byte>(full.begin(), full.begin() + header));
  const Outcome outcome = write();
  EXPECT_EQ(outcome.code, JOB_SHORT_WRITE);
  EXPECT_EQ(outcome.progress, 100);
  EXPECT_EQ(fake.drive_opens(), 1);
  EXPECT_TRUE(disk_untouched());
}

TEST_F(WriteJob, AShortImageIsWrittenInFullThenReported) {
  insert_target();
  std::vector<std::byte> file = image_of(source);
  file.resize(file.size() - 100 * block);
  write_file(image, file);
  EXPECT_EQ(write().code, JOB_SHORT_WRITE);
  const std::vector<std::byte> disk = fake.contents("A");
  const std::size_t written = disk_144 - 100 * block;
  EXPECT_TRUE(std::equal(disk.begin(), disk.begin() + written, source.data.begin()));
  EXPECT_TRUE(untouched_from(disk, written));
}

TEST_F(WriteJob, ARefusedBlockStopsTheJobWhereItFailed) {
  target.write_error_at = 7;
  insert_target();
  const Outcome outcome = write();
  EXPECT_EQ(outcome.code, JOB_DRIVE_WRITE_FAILED);
  EXPECT_EQ(outcome.progress, calcporcentage(disk_144, 8 * block));
  const std::vector<std::byte> disk = fake.contents("A");
  EXPECT_TRUE(std::equal(disk.begin(), disk.begin() + 7 * block, source.data.begin()));
  EXPECT_TRUE(untouched_from(disk, 7 * block));
}

TEST_F(WriteJob, AWriteProtectedDiskFailsAtTheFirstBlock) {
  target = make_medium(40, 1, 8);  // small enough for one block to show
  source = make_medium(40, 1, 8);
  write_file(image, image_of(source));
  target.write_protected = true;
  insert_target();
  const Outcome outcome = write();
  EXPECT_EQ(outcome.code, JOB_DRIVE_WRITE_FAILED);
  EXPECT_EQ(outcome.progress, calcporcentage(40 * 8 * 512, block));
  EXPECT_TRUE(disk_untouched());
}

TEST_F(WriteJob, DoneOnlyOnceTheDriveHasFlushed) {
  target.flush_error = platform::Error::io;
  insert_target();
  EXPECT_EQ(write().code, JOB_DRIVE_WRITE_FAILED);
}

TEST_F(WriteJob, DataPastTheDiskSizeIsRefusedByTheDrive) {
  insert_target();
  std::vector<std::byte> file = image_of(source);
  file.resize(file.size() + 3 * block, std::byte{0x55});
  write_file(image, file);
  EXPECT_EQ(write().code, JOB_DRIVE_WRITE_FAILED);
  EXPECT_EQ(fake.contents("A"), source.data);
}

TEST_F(WriteJob, ACancelBeforeTheFirstBlockWritesNothing) {
  insert_target();
  const Outcome outcome = cancel_while_held(fake, FakePlatform::geometry_query,
                                            [this] { return writedisk("A", image.c_str()); });
  EXPECT_EQ(outcome.code, JOB_CANCELLED);
  EXPECT_EQ(outcome.progress, 100);
  EXPECT_TRUE(disk_untouched());
}

TEST_F(WriteJob, ACancelDuringTheCopyKeepsWhatWasWritten) {
  insert_target();
  // Held as the drive is about to get its second command (blocks 36 to
  // 71), when the job has taken 72 blocks.
  EXPECT_EQ(cancel_while_held(fake, 36, [this] { return writedisk("A", image.c_str()); }).code,
            JOB_CANCELLED);
  const std::vector<std::byte> disk = fake.contents("A");
  EXPECT_TRUE(std::equal(disk.begin(), disk.begin() + 72 * block, source.data.begin()));
  EXPECT_TRUE(untouched_from(disk, 72 * block));
}

}  // namespace
}  // namespace tessil
