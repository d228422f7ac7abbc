#include "platform/linux/medium_geometry.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace tessil::platform::linux_os {
namespace {

struct Row {
  uint64_t size;
  int64_t cylinders;
  uint32_t heads, sectors, media;
};

// Every standard floppy format, as a file (fixed) and as a removable device.
TEST(GeometryFromSize, StandardFormats) {
  const Row rows[] = {
      {163'840, 40, 1, 8, 10},   {184'320, 40, 1, 9, 9},    {327'680, 40, 2, 8, 7},
      {368'640, 40, 2, 9, 6},    {737'280, 80, 2, 9, 5},    {1'228'800, 80, 2, 15, 1},
      {1'474'560, 80, 2, 18, 2}, {1'720'320, 80, 2, 21, 0}, {1'763'328, 82, 2, 21, 0},
      {2'949'120, 80, 2, 36, 3},
  };
  for (const Row& row : rows) {
    for (const bool removable : {false, true}) {
      SCOPED_TRACE(std::to_string(row.size) + (removable ? " removable" : " fixed"));
      const DriveGeometry g = geometry_from_size(row.size, 512, removable);
      EXPECT_EQ(g.cylinders, row.cylinders);
      EXPECT_EQ(g.tracks_per_cylinder, row.heads);
      EXPECT_EQ(g.sectors_per_track, row.sectors);
      EXPECT_EQ(g.bytes_per_sector, 512u);
      // The 21-sector formats have no number of their own: just other media.
      EXPECT_EQ(g.media_type, row.media ? row.media : (removable ? 11u : 12u));
    }
  }
}

TEST(GeometryFromSize, OtherSizesAreOneSectorPerCylinder) {
  DriveGeometry g = geometry_from_size(1'000'000, 512, false);
  EXPECT_EQ(g.cylinders, 1953);  // the partial sector is not counted
  EXPECT_EQ(g.tracks_per_cylinder, 1u);
  EXPECT_EQ(g.sectors_per_track, 1u);
  EXPECT_EQ(g.bytes_per_sector, 512u);
  EXPECT_EQ(g.media_type, 12u);
  EXPECT_EQ(geometry_from_size(1'000'000, 512, true).media_type, 11u);

  // A 1.44 MB size on 4096-byte sectors is no floppy format.
  g = geometry_from_size(1'474'560, 4096, true);
  EXPECT_EQ(g.cylinders, 360);
  EXPECT_EQ(g.sectors_per_track, 1u);
  EXPECT_EQ(g.bytes_per_sector, 4096u);
  EXPECT_EQ(g.media_type, 11u);

  // Beyond 4 GiB of cylinders' worth the count stays exact.
  EXPECT_EQ(geometry_from_size(uint64_t{1} << 42, 512, false).cylinders, int64_t{1} << 33);
}

TEST(GeometryFromFloppy, DriverGeometryWithFormatMediaType) {
  DriveGeometry g = geometry_from_floppy(80, 2, 18, 2880);
  EXPECT_EQ(g.cylinders, 80);
  EXPECT_EQ(g.tracks_per_cylinder, 2u);
  EXPECT_EQ(g.sectors_per_track, 18u);
  EXPECT_EQ(g.bytes_per_sector, 512u);
  EXPECT_EQ(g.media_type, 2u);
  EXPECT_EQ(geometry_from_floppy(40, 2, 9, 720).media_type, 6u);
  EXPECT_EQ(geometry_from_floppy(80, 2, 21, 3360).media_type, 11u);  // 1.68 MB
  EXPECT_EQ(geometry_from_floppy(83, 2, 18, 2988).media_type, 11u);  // extended format
}

TEST(BlockDeviceRemovable, ReadsTheDiskAttributeAlsoForPartitions) {
  testing::TempDir sys;
  namespace fs = std::filesystem;
  const auto attribute = [](const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text << "\n";
  };
  attribute(sys / "devices/sdb/removable", "1");
  attribute(sys / "devices/sdb/sdb1/partition", "1");
  attribute(sys / "devices/sda/removable", "0");
  fs::create_directories(sys / "dev/block");
  fs::create_directory_symlink(sys / "devices/sdb", sys / "dev/block/8:16");
  fs::create_directory_symlink(sys / "devices/sdb/sdb1", sys / "dev/block/8:17");
  fs::create_directory_symlink(sys / "devices/sda", sys / "dev/block/8:0");

  EXPECT_TRUE(block_device_removable(8, 16, sys.path()));
  EXPECT_TRUE(block_device_removable(8, 17, sys.path()));
  EXPECT_FALSE(block_device_removable(8, 0, sys.path()));
  EXPECT_FALSE(block_device_removable(7, 0, sys.path()));  // unknown device
}

}  // namespace
}  // namespace tessil::platform::linux_os
