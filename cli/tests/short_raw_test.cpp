// Raw images shorter than their disk, as boot floppies are shipped, and the
// format a FAT boot sector names.
#include <algorithm>

#include "cli_fixture.h"

namespace tessil::cli_test {
namespace {

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(CliTest, AShortRawImageIsWrittenWithZerosAfterItAndVerified) {
  const std::string disk = pattern(floppy_size);
  const std::string boot = pattern(1'296'384);
  std::string reversed = boot;
  std::reverse(reversed.begin(), reversed.end());
  put(at("boot.img"), reversed);
  drive('A', disk);
  const Result r = cli({"write", "boot.img", "A", "--yes"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(contains(r.err,
                       "boot.img is a raw image of 2,532 sectors (1,296,384 bytes), shorter than "
                       "the 1.44 MB disk in drive A; the other 348 sectors will be filled with "
                       "zeros"))
      << r.err;
  EXPECT_EQ(drive_bytes('A'), reversed + std::string(floppy_size - reversed.size(), '\0'));
  EXPECT_EQ(cli({"verify", "boot.img", "A"}).status, 0);
  std::string spoiled = drive_bytes('A');
  spoiled.back() = '\1';  // in the zeros after the image
  drive('A', spoiled);
  EXPECT_EQ(cli({"verify", "boot.img", "A"}).status, 3);

  // A partial last sector is padded too; --raw makes any name raw.
  put(at("part.bin"), "boot code");
  ASSERT_EQ(cli({"write", "part.bin", "A", "--yes", "--raw"}).status, 0);
  EXPECT_EQ(drive_bytes('A'), "boot code" + std::string(floppy_size - 9, '\0'));

  // Never taken for one: a tessil name, or a raw file larger than the disk.
  drive('A', disk);
  put(at("boot.tsl"), boot);
  const Result tessil = cli({"write", "boot.tsl", "A", "--yes"});
  EXPECT_NE(tessil.status, 0);
  EXPECT_TRUE(contains(tessil.err, "neither")) << tessil.err;
  put(at("big.img"), pattern(floppy_size + 512));
  const Result big = cli({"write", "big.img", "A", "--yes"});
  EXPECT_NE(big.status, 0);
  EXPECT_TRUE(contains(big.err, "1,475,072") && contains(big.err, "1,474,560")) << big.err;
  EXPECT_EQ(drive_bytes('A'), disk);
}

TEST_F(CliTest, AFatBootSectorNamesTheFormatItWasMadeFor) {
  const Result made =
      finish(start({"/usr/sbin/mkfs.fat", "-C", "-F", "12", at("x.img").string(), "720"}));
  if (made.status != 0) GTEST_SKIP() << "mkfs.fat did not run: " << made.err;
  const std::string fat = slurp(at("x.img"));
  put(at("x-short.img"), fat.substr(0, 100 * 512));
  const std::string disk = pattern(floppy_size);
  drive('A', disk);
  for (const char* name : {"x.img", "x-short.img"}) {
    const Result r = cli({"write", name, "A", "--yes"});
    EXPECT_NE(r.status, 0) << name;
    EXPECT_TRUE(contains(r.err, "720 KB disk image") && contains(r.err, "is 1.44 MB")) << r.err;
    const Result info = cli({"info", name});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(contains(info.out, "720 KB, from its FAT boot sector")) << info.out;
  }
  EXPECT_EQ(drive_bytes('A'), disk);

  // A short image becomes a whole tessil image of the boot sector's format.
  ASSERT_EQ(cli({"convert", "x-short.img", "x.tsl"}).status, 0);
  EXPECT_EQ(slurp(at("x.tsl")), header(80, 2, 9, "") + fat.substr(0, 100 * 512) +
                                    std::string(737'280 - 100 * 512, '\0'));
}

TEST_F(CliTest, AShortRawImageWithoutABootSectorIsConvertedByItsFormatOption) {
  put(at("s.img"), "data");
  const Result none = cli({"convert", "s.img", "s.tsl"});
  EXPECT_NE(none.status, 0);
  EXPECT_TRUE(contains(none.err, "--format")) << none.err;
  EXPECT_FALSE(fs::exists(at("s.tsl")));
  EXPECT_NE(cli({"convert", "s.img", "s.tsl", "--format", "3M"}).status, 0);
  ASSERT_EQ(cli({"convert", "s.img", "s.tsl", "--format", "1.44M", "--label", "Boot"}).status, 0);
  EXPECT_EQ(slurp(at("s.tsl")),
            header(80, 2, 18, "Boot") + "data" + std::string(floppy_size - 4, '\0'));
}

}  // namespace
}  // namespace tessil::cli_test
