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
                               " && mcopy -i raw.img inner ::/SUB/INNER.TXT";
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
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const FatDamage damage = fat_damage(dir_.path("disk.img"), image_header_size, 512, c.bad);
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
  const FatDamage damage = fat_damage(dir_.path("disk.img"), image_header_size, 512, {1, big + 39});
  ASSERT_TRUE(damage.examined) << damage.problem;
  EXPECT_TRUE(damage.fat);
  EXPECT_TRUE(damage.files_through_second_fat);
  EXPECT_EQ(damage.files, std::vector<std::string>{"BIG.BIN"});
}

TEST_F(FatDamageTest, AnUnreadableBootSectorIsSaidSo) {
  std::vector<std::byte> image = read_file(dir_.path("disk.img"));
  std::fill_n(image.begin() + image_header_size, 512, std::byte{0});
  write_file(dir_.path("disk.img"), image);
  const FatDamage damage = fat_damage(dir_.path("disk.img"), image_header_size, 512, {0});
  EXPECT_FALSE(damage.examined);
  EXPECT_FALSE(damage.problem.empty());
}

}  // namespace
}  // namespace tessil::rescue
