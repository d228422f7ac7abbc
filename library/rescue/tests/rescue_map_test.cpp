// The map's areas and its text, read back by ddrescuelog and from it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fake_platform.h"
#include "rescue/map_reader.h"
#include "rescue/rescue_map.h"

namespace tessil::rescue {
namespace {

using testing::TempDir;

std::string run_command(const std::string& command, int& status) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) {
    status = -1;
    return out;
  }
  char chunk[4096];
  while (const std::size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) out.append(chunk, n);
  status = ::pclose(pipe);
  return out;
}

bool have_ddrescuelog() {
  int status = 0;
  run_command("command -v ddrescuelog >/dev/null 2>&1", status);
  return status == 0;
}

// Sectors 0-9 rescued, 10-11 bad, 12-15 non-scraped, 16-19 non-tried,
// 20-23 non-trimmed, the rest rescued.
RescueMap sample_map() {
  RescueMap map(40 * 512);
  map.set(0, 40 * 512, Status::rescued);
  map.set(10 * 512, 2 * 512, Status::bad);
  map.set(12 * 512, 4 * 512, Status::non_scraped);
  map.set(16 * 512, 4 * 512, Status::non_tried);
  map.set(20 * 512, 4 * 512, Status::non_trimmed);
  map.phase = Phase::scraping;
  map.current_pos = 12 * 512;
  return map;
}

TEST(RescueMap, AreasStayInOrderWithoutGapsAndMerge) {
  RescueMap map(100, 1);
  map.set(10, 10, Status::rescued);
  map.set(20, 10, Status::rescued);  // joins its neighbour
  map.set(0, 5, Status::bad);
  map.set(95, 50, Status::bad);  // cut at the disk's end
  map.set(15, 2, Status::non_trimmed);
  const std::vector<Area> expected = {{0, 5, Status::bad},       {5, 5, Status::non_tried},
                                      {10, 5, Status::rescued},  {15, 2, Status::non_trimmed},
                                      {17, 13, Status::rescued}, {30, 65, Status::non_tried},
                                      {95, 5, Status::bad}};
  EXPECT_EQ(map.areas(), expected);
  EXPECT_EQ(map.next(Status::rescued, 12), (Area{12, 3, Status::rescued}));
  EXPECT_EQ(map.next(Status::non_tried, 31), (Area{31, 64, Status::non_tried}));
  EXPECT_FALSE(map.next(Status::non_scraped, 0));
  map.extend_to(120);
  EXPECT_EQ(map.areas().back(), (Area{100, 20, Status::non_tried}));
}

TEST(RescueMap, TextReadsBackAndBrokenMapsAreRefused) {
  const RescueMap map = sample_map();
  std::string error;
  const std::optional<RescueMap> back =
      parse_map(format_map(map, {"x", "t0", "t1"}), 512, map.size(), error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->areas(), map.areas());
  EXPECT_EQ(back->phase, Phase::scraping);
  EXPECT_EQ(back->current_pos, 12u * 512);

  // A map is anybody's file: what it costs is bounded by the disk, and what
  // is wrong with it is said with its line.
  const std::string endless = "0x0 ? 1\n# " + std::string(MapReader::max_line, 'x') + "\n";
  const struct {
    std::string text;
    const char* error;
  } broken[] = {
      {"", "no current position line"},
      {"0x0 ? 1\n0x0 0x200 +\n0x400 0x200 +\n", "line 3: areas leave a gap"},
      {"0x0 ? 1\n0x0 0x400 +\n0x200 0x200 +\n", "line 3: areas leave a gap or overlap"},
      {"0x0 ? 1\n0x0 0x200 x\n", "line 2: not an area"},
      {"0x0 ? 1\n\n0x0 0x200\n", "line 3: not an area"},
      {"0x0 ? 1\n0x200 0x200 +\n", "line 2: areas leave a gap"},
      {"0x0 ? 1\n0x0 0x100000 +\n0x100000 0x1 -\n", "line 3: an area reaches past"},
      {"0x0 ? 1\n0x0 0x10000000000000000 +\n", "line 2: not an area"},
      {"0x0 ? 1\n0x0 0xFFFFFFFFFFFFFFFF +\n", "line 2: an area reaches past"},
      {endless, "line 2: longer than"},
  };
  for (const auto& [text, expected] : broken) {
    error.clear();
    EXPECT_FALSE(parse_map(text, 512, 1 << 20, error)) << text.substr(0, 80);
    EXPECT_EQ(error.find(expected), 0u) << error;
  }
}

TEST(RescueMap, ASectorIsRescuedOnlyWhenAllItsBytesAreAndAMapLoadsInOnePass) {
  // Sector 0 whole, sector 1 one byte short, sector 2 with a bad byte among
  // rescued ones, sector 3 partly non-tried, and the map ending within
  // sector 4, whose missing bytes were never tried.
  const std::string text =
      "0x0 + 1\n0x0 0x3FF +\n0x3FF 0x1 ?\n0x400 0x10 +\n0x410 0x1 -\n0x411 0x1EF +\n"
      "0x600 0x100 -\n0x700 0x100 *\n0x800 0x100 +\n";
  std::string error;
  const std::optional<RescueMap> map = parse_map(text, 512, 8 * 512, error);
  ASSERT_TRUE(map) << error;
  const std::vector<Area> expected = {{0, 512, Status::rescued},
                                      {512, 512, Status::non_tried},
                                      {1024, 512, Status::bad},
                                      {1536, 512, Status::non_trimmed},
                                      {2048, 512, Status::non_tried}};
  EXPECT_EQ(map->areas(), expected);
  EXPECT_EQ(map->bytes(Status::rescued), 512u);

  // One byte an area over a whole 1.44 MB disk, read in pieces as a file
  // comes: each piece costs its own length, however many areas came before.
  constexpr uint64_t size = 1474560;
  MapReader reader(512, size);
  ASSERT_TRUE(reader.feed("0x0 ? 1\n"));
  const auto start = std::chrono::steady_clock::now();
  char line[64];
  for (uint64_t pos = 0; pos < size; ++pos) {
    // Every sector has one bad byte, its last.
    const char status = pos % 512 == 511 ? '-' : '+';
    std::snprintf(line, sizeof line, "0x%08llX  0x00000001  %c\n",
                  static_cast<unsigned long long>(pos), status);
    ASSERT_TRUE(reader.feed(line)) << reader.error();
  }
  const std::optional<RescueMap> bytewise = reader.finish();
  ASSERT_TRUE(bytewise) << reader.error();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(bytewise->areas(), (std::vector<Area>{{0, size, Status::bad}}));
}

TEST(RescueMap, DdrescuelogReadsOurMapsAndWeReadItsMaps) {
  if (!have_ddrescuelog()) GTEST_SKIP() << "ddrescuelog is not installed";
  TempDir dir;
  const std::string path = dir.path("disk.map");
  const RescueMap map = sample_map();
  std::FILE* file = std::fopen(path.c_str(), "w");
  ASSERT_TRUE(file);
  const std::string text = format_map(map, {"tessil-cli read A disk.img --rescue", "t0", "t1"});
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);

  int status = 0;
  // Its lists of blocks by status: bad, then everything not rescued.
  EXPECT_EQ(run_command("ddrescuelog -b512 -l- '" + path + "'", status), "10\n11\n");
  EXPECT_EQ(status, 0);
  const std::string unrescued = run_command("ddrescuelog -b512 -l'?*/-' '" + path + "'", status);
  std::string expected;
  for (int i = 10; i < 24; ++i) expected += std::to_string(i) + "\n";
  EXPECT_EQ(unrescued, expected);
  // And it finds the map's rescue unfinished.
  run_command("ddrescuelog -D '" + path + "'", status);
  EXPECT_NE(status, 0);

  // A map ddrescuelog makes from a list of rescued blocks.
  const std::string made =
      run_command("printf '3\\n4\\n9\\n' | ddrescuelog -b512 -s 5120 -c+- -", status);
  ASSERT_EQ(status, 0);
  std::string error;
  const std::optional<RescueMap> theirs = parse_map(made, 512, 5120, error);
  ASSERT_TRUE(theirs) << error << made;
  const std::vector<Area> expected_areas = {{0, 3 * 512, Status::bad},
                                            {3 * 512, 2 * 512, Status::rescued},
                                            {5 * 512, 4 * 512, Status::bad},
                                            {9 * 512, 512, Status::rescued}};
  EXPECT_EQ(theirs->areas(), expected_areas);
}

}  // namespace
}  // namespace tessil::rescue
