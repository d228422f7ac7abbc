// The platform on image files: geometry queries and jobs' drives.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>

#include "platform/linux/linux_drive.h"
#include "platform/platform.h"
#include "test_support.h"

namespace tessil::platform::linux_os {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

constexpr std::string_view drive_t = "\\\\.\\T:";

Error query(const std::filesystem::path& path, DriveGeometry& g) {
  const ScopedEnv env("TESSIL_DRIVE_T", path.string());
  return system().query_geometry(drive_t, g);
}

TEST(FileQuery, SizesGiveTheirGeometry) {
  TempDir dir;
  const struct {
    uint64_t size;
    int64_t cylinders;
    uint32_t heads, sectors, media;
  } rows[] = {{163'840, 40, 1, 8, 10},    {184'320, 40, 1, 9, 9},     {327'680, 40, 2, 8, 7},
              {368'640, 40, 2, 9, 6},     {737'280, 80, 2, 9, 5},     {1'228'800, 80, 2, 15, 1},
              {1'474'560, 80, 2, 18, 2},  {1'720'320, 80, 2, 21, 12}, {2'949'120, 80, 2, 36, 3},
              {1'000'000, 1953, 1, 1, 12}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.size);
    testing::sized_file(dir / "disk.img", row.size);
    DriveGeometry g;
    ASSERT_EQ(query(dir / "disk.img", g), Error::none);
    EXPECT_EQ(g.cylinders, row.cylinders);
    EXPECT_EQ(g.tracks_per_cylinder, row.heads);
    EXPECT_EQ(g.sectors_per_track, row.sectors);
    EXPECT_EQ(g.bytes_per_sector, 512u);
    EXPECT_EQ(g.media_type, row.media);
  }
}

TEST(FileQuery, NothingUsableBehindTheLetter) {
  TempDir dir;
  testing::sized_file(dir / "empty.img", 0);
  DriveGeometry g;
  EXPECT_EQ(query(dir / "empty.img", g), Error::no_medium);
  EXPECT_EQ(query(dir / "missing.img", g), Error::not_found);
  EXPECT_NE(query(dir.path(), g), Error::none);
  EXPECT_NE(query("/dev/null", g), Error::none);  // a character device is no drive
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_NE(query(dir / "fifo", g), Error::none);  // and must not hang the query
  EXPECT_EQ(system().query_geometry("\\\\.\\Q:", g), Error::not_found);
  EXPECT_EQ(system().query_geometry("\\\\.\\AB:", g), Error::not_found);
}

class FileDrive : public ::testing::Test {
 protected:
  std::unique_ptr<Drive> open(Error& error) {
    const ScopedEnv env("TESSIL_DRIVE_T", (dir_ / "disk.img").string());
    return system().open_drive(drive_t, error);
  }
  TempDir dir_;
};

TEST_F(FileDrive, ReadsToTheEndInBlocks) {
  const std::vector<std::byte> content = testing::pattern(3 * 512 + 100);
  testing::write_file(dir_ / "disk.img", content);
  Error error = Error::other;
  const std::unique_ptr<Drive> drive = open(error);
  ASSERT_TRUE(drive);
  EXPECT_EQ(error, Error::none);

  std::vector<std::byte> seen;
  std::array<std::byte, 512> block;
  std::vector<std::size_t> counts;
  for (std::size_t n; (n = drive->read(block).count) != 0;) {
    counts.push_back(n);
    seen.insert(seen.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
  }
  EXPECT_EQ(counts, (std::vector<std::size_t>{512, 512, 512, 100}));
  EXPECT_EQ(seen, content);
  const ReadResult end = drive->read(block);  // stays at the end, and says so
  EXPECT_EQ(end.count, 0u);
  EXPECT_TRUE(end.end);
  EXPECT_FALSE(end.failed());
}

TEST_F(FileDrive, WritesInPlaceAndNeverGrowsTheFile) {
  testing::sized_file(dir_ / "disk.img", 1000);
  Error error;
  const std::unique_ptr<Drive> drive = open(error);
  ASSERT_TRUE(drive);
  const std::vector<std::byte> data = testing::pattern(1024);
  EXPECT_EQ(drive->write(std::span(data).first(512)), Error::none);
  // Like a device: the part that fits is written, the rest refused.
  EXPECT_EQ(drive->write(std::span(data).subspan(512)), Error::no_space);
  EXPECT_EQ(drive->write(std::span(data).first(1)), Error::no_space);
  EXPECT_EQ(drive->flush(), Error::none);
  EXPECT_EQ(testing::read_file(dir_ / "disk.img"),
            std::vector<std::byte>(data.begin(), data.begin() + 1000));
}

TEST_F(FileDrive, HeldExclusively) {
  testing::sized_file(dir_ / "disk.img", 1024);
  Error error;
  const std::unique_ptr<Drive> first = open(error);
  ASSERT_TRUE(first);
  EXPECT_FALSE(open(error));
  EXPECT_EQ(error, Error::busy);
}

// Drops root's right to write any file for as long as it lives.
class AsNobody {
 public:
  AsNobody() : was_root_(::geteuid() == 0) {
    if (was_root_) {
      EXPECT_EQ(::seteuid(65534), 0);
    }
  }
  ~AsNobody() {
    if (was_root_) {
      EXPECT_EQ(::seteuid(0), 0);
    }
  }
  AsNobody(const AsNobody&) = delete;
  AsNobody& operator=(const AsNobody&) = delete;

 private:
  bool was_root_;
};

TEST_F(FileDrive, ReadOnlyFileOpensReadOnly) {
  const std::vector<std::byte> content = testing::pattern(1024);
  testing::write_file(dir_ / "disk.img", content);
  std::filesystem::permissions(dir_.path(), std::filesystem::perms::all);
  std::filesystem::permissions(dir_ / "disk.img", std::filesystem::perms::owner_read |
                                                      std::filesystem::perms::group_read |
                                                      std::filesystem::perms::others_read);
  const AsNobody nobody;
  Error error = Error::other;
  const std::unique_ptr<Drive> drive = open(error);
  testing::expect_read_only_drive(drive.get(), error);
  EXPECT_EQ(testing::read_file(dir_ / "disk.img"), content);
}

TEST_F(FileDrive, NothingToOpen) {
  Error error = Error::none;
  EXPECT_FALSE(open(error));
  EXPECT_EQ(error, Error::not_found);
  std::filesystem::create_directory(dir_ / "disk.img");
  EXPECT_FALSE(open(error));
  EXPECT_NE(error, Error::none);
  EXPECT_FALSE(system().open_drive("\\\\.\\Q:", error));
  EXPECT_EQ(error, Error::not_found);
}

}  // namespace
}  // namespace tessil::platform::linux_os
