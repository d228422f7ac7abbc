// Bad sectors named by what they hit on a FAT12 floppy made with mkfs.fat
// and mtools, stored as a tessil image (header, then the disk).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "fake_platform.h"
#include "image_format.h"
#include "rescue/fat_damage.h"

namespace tessil::rescue {
namespace {

using testing::read_file;
using testing::TempDir;
using testing::write_file;

// The sectors in `bad` are lost.
fat::LostSector lost_in(std::vector<uint64_t> bad) {
  return [bad = std::move(bad)](uint64_t sector) {
    return std::find(bad.begin(), bad.end(), sector) != bad.end();
  };
}

bool have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

class FatDamageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!have("mkfs.fat") || !have("mcopy") || !have("mmd")) GTEST_SKIP() << "no mkfs.fat/mtools";
    const std::string raw = dir_.path("raw.img");
    // Each file starts with a text of its own, to find its first sector.
    write_file(dir_.path("small"), bytes("SMALLFILE", 100));
    write_file(dir_.path("big"), bytes("BIGFILE", 20000));
    write_file(dir_.path("inner"), bytes("INNERFILE", 3000));
    const std::string q = "'" + dir_.path("") + "'";
    const std::string script = "cd " + q + " && mkfs.fat -C -F 12 raw.img 1440 >/dev/null" +
                               " && mcopy -i raw.img small ::/SMALL.TXT" +
                               " && mcopy -i raw.img big ::/BIG.BIN && mmd -i raw.img ::/SUB" +
                               " && mcopy -i raw.img inner ::/SUB/INNER.TXT" +
                               " && mcopy -i raw.img inner '::/SUB/A long name.txt'";
    ASSERT_EQ(std::system(script.c_str()), 0);
    disk_ = read_file(raw);
    ASSERT_EQ(disk_.size(), 1474560u);
    std::vector<std::byte> image(image_header_size + disk_.size());
    std::copy(disk_.begin(), disk_.end(), image.begin() + image_header_size);
    write_file(dir_.path("disk.img"), image);
  }

  static std::vector<std::byte> bytes(const std::string& mark, std::size_t size) {
    std::vector<std::byte> out(size, std::byte{'.'});
    std::transform(mark.begin(), mark.end(), out.begin(), [](char c) { return std::byte(c); });
    return out;
  }

  uint64_t first_sector_of(const std::string& mark) {
    const auto it = std::search(disk_.begin(), disk_.end(), mark.begin(), mark.end(),
                                [](std::byte b, char c) { return b == std::byte(c); });
    EXPECT_NE(it, disk_.end()) << mark;
    return static_cast<uint64_t>(it - disk_.begin()) / 512;
  }

  // The damage as a rescue leaves it: `lost` unreadable, zero in the image.
  FatDamage lose(const std::vector<uint64_t>& lost) {
    std::vector<std::byte> image(image_header_size + disk_.size());
    std::copy(disk_.begin(), disk_.end(), image.begin() + image_header_size);
    for (const uint64_t sector : lost)
      std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(image_header_size + sector * 512),
                  512, std::byte{0});
    write_file(dir_.path("disk.img"), image);
    return fat_damage(dir_.path("disk.img"), image_header_size, 512, lost_in(lost));
  }

  TempDir dir_;
  std::vector<std::byte> disk_;
};

TEST_F(FatDamageTest, NamesTheAreasAndFilesOnBadSectors) {
  struct Case {
    const char* name;
    std::vector<uint64_t> bad;
    bool boot, fat, root;
    std::vector<std::string> files;
  };
  const uint64_t big = first_sector_of("BIGFILE");
  const uint64_t inner = first_sector_of("INNERFILE");
  const uint64_t small = first_sector_of("SMALLFILE");
  // 1.44 MB FAT12: boot sector 0, FATs 1-18, root directory 19-32.
  const Case cases[] = {
      {"no bad sector", {}, false, false, false, {}},
      {"boot sector", {0}, true, false, false, {}},
      {"second FAT", {12}, false, true, false, {}},
      {"root directory", {19}, false, false, true, {}},
      {"a file's last sector", {big + 39}, false, false, false, {"BIG.BIN"}},
      // The subdirectory's own cluster follows the file's last one.
      {"a directory", {big + 40}, false, false, false, {"SUB/"}},
      {"files in two directories",
       {small, inner + 1},
       false,
       false,
       false,
       {"SMALL.TXT", "SUB/INNER.TXT"}},
      // Its data follow INNER.TXT's six sectors.
      {"a long name", {inner + 6}, false, false, false, {"SUB/A long name.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const FatDamage damage =
        fat_damage(dir_.path("disk.img"), image_header_size, 512, lost_in(c.bad));
    ASSERT_TRUE(damage.examined) << damage.problem;
    EXPECT_EQ(damage.type, "FAT12");
    EXPECT_EQ(damage.boot_sector, c.boot);
    EXPECT_EQ(damage.fat, c.fat);
    EXPECT_EQ(damage.root_directory, c.root);
    EXPECT_EQ(damage.files, c.files);
  }
}

TEST_F(FatDamageTest, FilesAreFollowedThroughTheSecondFatWhenTheFirstIsLost) {
  const uint64_t big = first_sector_of("BIGFILE");
  // As a rescue leaves them: the first FAT's first sector (BIG.BIN's chain)
  // and BIG.BIN's last sector unreadable, and zero in the image.
  std::vector<std::byte> image = read_file(dir_.path("disk.img"));
  for (const uint64_t sector : {uint64_t{1}, big + 39})
    std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(image_header_size + sector * 512), 512,
                std::byte{0});
  write_file(dir_.path("disk.img"), image);
  const FatDamage damage =
      fat_damage(dir_.path("disk.img"), image_header_size, 512, lost_in({1, big + 39}));
  ASSERT_TRUE(damage.examined) << damage.problem;
  EXPECT_TRUE(damage.fat);
  EXPECT_TRUE(damage.files_through_second_fat);
  EXPECT_EQ(damage.files, std::vector<std::string>{"BIG.BIN"});
}

TEST_F(FatDamageTest, WhatLostStructuresHideIsSaidNotPassedOverAsUndamaged) {
  const uint64_t big = first_sector_of("BIGFILE");
  const uint64_t sub = big + 40;  // the subdirectory's own cluster
  const struct {
    const char* name;
    std::vector<uint64_t> lost;
    std::vector<std::string> files, not_named;
  } cases[] = {
      // BIG.BIN's chain goes with both FATs' first sector: its last sector
      // cannot be told to be its own.
      {"both FATs' first sector and a file's data",
       {1, 10, big + 39},
       {},
       {"the files on clusters 2 to 341, whose links were lost with every copy of that part of "
        "the FAT (sectors 1 and 10)"}},
      {"the root directory's sector that lists the files",
       {19},
       {},
       {"the entries in root directory sector 19, which is lost"}},
      {"a subdirectory's sector",
       {sub},
       {"SUB/"},
       {"the entries in sector " + std::to_string(sub) + " of SUB/, which is lost"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const FatDamage damage = lose(c.lost);
    ASSERT_TRUE(damage.examined) << damage.problem;
    EXPECT_EQ(damage.files, c.files);
    EXPECT_EQ(damage.not_named, c.not_named);
  }
}

TEST_F(FatDamageTest, CorruptedNamesAreNamedWithWhatIsOddInThemShown) {
  const uint64_t small = first_sector_of("SMALLFILE");
  const uint64_t inner = first_sector_of("INNERFILE");
  // Names no 8.3 name may hold, as a corrupted entry may: a quote, a blank
  // first and within, an escape character and a backslash.
  const auto rename = [&](int entry, const char* name) {
    const auto at = static_cast<std::ptrdiff_t>(19 * 512 + entry * 32);
    std::transform(name, name + 11, disk_.begin() + at, [](char c) { return std::byte(c); });
  };
  rename(0, "S\"ALL   TXT");
  rename(1, " B G    B\x1bN");
  rename(2, "S\\B        ");
  const FatDamage damage = lose({small, first_sector_of("BIGFILE"), inner});
  ASSERT_TRUE(damage.examined) << damage.problem;
  EXPECT_EQ(damage.files,
            (std::vector<std::string>{"S\"ALL.TXT", "S\\x5cB/INNER.TXT", "\\x20B G.B\\x1bN"}));
}

TEST_F(FatDamageTest, AnUnreadableBootSectorIsSaidSo) {
  std::vector<std::byte> image = read_file(dir_.path("disk.img"));
  std::fill_n(image.begin() + image_header_size, 512, std::byte{0});
  write_file(dir_.path("disk.img"), image);
  const FatDamage damage = fat_damage(dir_.path("disk.img"), image_header_size, 512, lost_in({0}));
  EXPECT_FALSE(damage.examined);
  EXPECT_FALSE(damage.problem.empty());
}

}  // namespace
}  // namespace tessil::rescue
