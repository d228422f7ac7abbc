// The empty FAT12 volume a formatted floppy gets: read back field by field
// for every format, and by the FAT tools themselves when they are here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fake_platform.h"
#include "format/empty_fat.h"
#include "standard_formats.h"

namespace tessil::format {
namespace {

using testing::run_command;
using testing::TempDir;
using testing::write_file;

uint32_t at8(const std::vector<std::byte>& b, std::size_t i) {
  return std::to_integer<uint32_t>(b[i]);
}
uint32_t at16(const std::vector<std::byte>& b, std::size_t i) {
  return at8(b, i) | at8(b, i + 1) << 8;
}
uint32_t at32(const std::vector<std::byte>& b, std::size_t i) {
  return at16(b, i) | at16(b, i + 2) << 16;
}
std::string text(const std::vector<std::byte>& b, std::size_t i, std::size_t n) {
  std::string s;
  for (std::size_t k = 0; k < n; ++k) s += static_cast<char>(at8(b, i + k));
  return s;
}

TEST(EmptyFat, EveryFormatGetsAVolumeThatAddsUp) {
  for (const StandardFormat& format : standard_formats) {
    SCOPED_TRACE(format.name);
    const std::vector<std::byte> b = empty_fat12(format, "Backup 1", {0x1234ABCD, 0x5A21, 0x6000});
    ASSERT_GE(b.size(), 512u);
    ASSERT_EQ(b.size() % 512, 0u);
    EXPECT_EQ(at8(b, 0), 0xEBu);
    EXPECT_EQ(at16(b, 510), 0xAA55u);
    EXPECT_EQ(at16(b, 11), 512u);
    EXPECT_EQ(at16(b, 14), 1u);
    EXPECT_EQ(at8(b, 16), 2u);
    EXPECT_EQ(at16(b, 19) * 512ull, format.size);
    EXPECT_EQ(at16(b, 24), format.sectors_per_track);
    EXPECT_EQ(at16(b, 26), format.heads);
    EXPECT_EQ(at8(b, 38), 0x29u);
    EXPECT_EQ(at32(b, 39), 0x1234ABCDu);
    EXPECT_EQ(text(b, 43, 11), "BACKUP 1   ");
    EXPECT_EQ(text(b, 54, 8), "FAT12   ");

    // The data starts where the returned sectors end, and the FAT has an
    // entry of 12 bits for every cluster after it.
    const uint32_t fat = at16(b, 22);
    const uint32_t root_sectors = at16(b, 17) * 32 / 512;
    ASSERT_EQ(b.size() / 512, 1 + 2 * fat + root_sectors);
    const uint32_t clusters = (at16(b, 19) - 1 - 2 * fat - root_sectors) / at8(b, 13);
    EXPECT_LE((clusters + 2) * 12, fat * 512 * 8);
    EXPECT_LT(clusters, 4085u);

    for (const uint32_t copy : {1u, 1 + fat}) {
      EXPECT_EQ(at8(b, copy * 512), at8(b, 21)) << "the FAT starts with the media byte";
      EXPECT_EQ(at16(b, copy * 512 + 1), 0xFFFFu);
    }
    EXPECT_TRUE(
        std::equal(b.begin() + 512, b.begin() + (1 + fat) * 512, b.begin() + (1 + fat) * 512));
    const std::size_t root = (1 + 2 * fat) * 512;
    EXPECT_EQ(text(b, root, 11), "BACKUP 1   ");
    EXPECT_EQ(at8(b, root + 11), 0x08u);
    EXPECT_EQ(at16(b, root + 24), 0x5A21u);
    EXPECT_TRUE(
        std::all_of(b.begin() + root + 32, b.end(), [](std::byte x) { return x == std::byte{0}; }));
  }
}

TEST(EmptyFat, NoLabelLeavesTheRootEmpty) {
  const std::vector<std::byte> b = empty_fat12(*standard_format_of(1'474'560), "");
  ASSERT_EQ(b.size(), 33u * 512);
  EXPECT_EQ(text(b, 43, 11), "NO NAME    ");
  EXPECT_TRUE(
      std::all_of(b.begin() + 19 * 512, b.end(), [](std::byte x) { return x == std::byte{0}; }));
}

TEST(EmptyFat, OnlyKnownGeometriesAndGoodLabels) {
  EXPECT_TRUE(empty_fat12({1'474'560, 40, 4, 18, 0, "odd"}, "").empty());
  EXPECT_TRUE(empty_fat12({1'474'560 * 2, 80, 2, 18, 0, "odd"}, "").empty());
  EXPECT_TRUE(empty_fat12(*standard_format_of(1'474'560), "A*B").empty());

  EXPECT_EQ(fat_label_problem(""), std::nullopt);
  EXPECT_EQ(fat_label_problem("my disk 1-2"), std::nullopt);
  EXPECT_EQ(fat_label_problem("TWELVE CHARS"), "a volume label has at most 11 characters");
  EXPECT_EQ(fat_label_problem("A*B"), "a volume label cannot hold the character '*'");
  EXPECT_EQ(fat_label_problem("v1.0"), "a volume label cannot hold the character '.'");
  EXPECT_EQ(fat_label_problem(" LEAD"), "a volume label cannot begin with a space");
  using namespace std::literals;
  for (const std::string_view bad : {"tab\there"sv, "caf\xC3\xA9"sv, "nul\0"sv, "del\x7F"sv})
    EXPECT_EQ(fat_label_problem(bad), "a volume label holds only printable ASCII characters")
        << bad;
}

bool have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(EmptyFat, TheFatToolsReadAndWriteTheVolume) {
  if (!have("fsck.fat") || !have("mdir") || !have("mcopy")) GTEST_SKIP() << "no dosfstools/mtools";
  TempDir dir;
  for (const StandardFormat& format : standard_formats) {
    SCOPED_TRACE(format.name);
    std::vector<std::byte> image = empty_fat12(format, "tessil", {0xCAFE0042});
    image.resize(format.size);
    const std::string path = dir.path("disk.img");
    write_file(path, image);
    const std::string q = "'" + path + "'";
    EXPECT_EQ(std::system(("fsck.fat -n " + q + " >/dev/null").c_str()), 0);
    const std::string listing = run_command("mdir -i " + q + " :: | tr '\\n' ' '");
    EXPECT_NE(listing.find("is TESSIL"), std::string::npos) << listing;
    EXPECT_NE(listing.find("CAFE-0042"), std::string::npos) << listing;
    EXPECT_NE(listing.find("No files"), std::string::npos) << listing;

    // A file written by the tools lands in the free clusters and checks.
    write_file(dir.path("file"), std::vector<std::byte>(40'000, std::byte{'x'}));
    ASSERT_EQ(std::system(("mcopy -i " + q + " '" + dir.path("file") + "' ::/FILE.BIN").c_str()),
              0);
    EXPECT_EQ(std::system(("fsck.fat -n " + q + " >/dev/null").c_str()), 0);
    EXPECT_NE(run_command("mdir -b -i " + q + " ::").find("FILE.BIN"), std::string::npos);
  }
}

}  // namespace
}  // namespace tessil::format
