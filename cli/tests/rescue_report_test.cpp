// What a rescue says when it ends: the files its lost sectors hit, or why
// they cannot be named.
#include "cli_fixture.h"

namespace tessil::cli_test {
namespace {

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(CliTest, ARescueSaysWhatLostStructuresHideInsteadOfCallingFilesUndamaged) {
  const std::string disk = fat_floppy(root_);
  if (disk.empty()) GTEST_SKIP() << "mkfs.fat and mtools are needed";
  drive('A', disk);
  ASSERT_EQ(cli({"read", "A", "disk.tsl", "--rescue"}).status, 0);
  // Both FATs' first sector, the root directory's sector that lists
  // BIG.BIN, and a sector of BIG.BIN's data.
  put(at("disk.tsl.map"), map_with_bad({1, 10, 19, 40}));
  const Result r = cli({"read", "A", "disk.tsl", "--rescue", "--retries", "0"});
  ASSERT_EQ(r.status, 4) << r.err;
  for (const char* line :
       {"FAT12 volume: boot sector intact, FAT HIT, root directory HIT\n",
        "Not named: the entries in root directory sector 19, which is lost\n",
        "Not named: the files on clusters 2 to 341, whose links were lost with every copy of "
        "that part of the FAT (sectors 1 and 10)\n"})
    EXPECT_TRUE(contains(r.out, line)) << line << "\n" << r.out;
  EXPECT_FALSE(contains(r.out, "No file's data")) << r.out;
}

TEST_F(CliTest, AResumedRescueKeepsItsLabelAndEveryOutputGivesOneResult) {
  drive('A', pattern(floppy_size));
  ASSERT_EQ(cli({"read", "A", "r.tsl", "--rescue", "--label", "First"}).status, 0);
  const std::string image = slurp(at("r.tsl"));
  const Result other = cli({"read", "A", "r.tsl", "--rescue", "--label", "Second"});
  EXPECT_EQ(other.status, 2) << other.err;
  EXPECT_TRUE(contains(other.err, "r.tsl holds the label \"First\"")) << other.err;
  EXPECT_TRUE(slurp(at("r.tsl")) == image);

  // Resumed without --label, with sectors still missing: the report, the
  // document and the exit status say the same, of the label it holds.
  put(at("r.tsl.map"), map_with_bad({100, 700}));
  const Result r = cli({"read", "A", "r.tsl", "--rescue", "--retries", "0", "--json"});
  ASSERT_EQ(r.status, 4) << r.err;
  const Json document = Json::parse(r.out);
  const Json report = Json::parse(slurp(at("r.tsl.json")));
  EXPECT_EQ(report["image"]["label"], "First");
  EXPECT_EQ(document["label"], "First");
  EXPECT_EQ(document["code"], 112);
  EXPECT_EQ(report["result"]["code"], document["code"]);
  EXPECT_FALSE(document.contains("result")) << r.out;
  // Shaped as read's and verify's documents: the drive by its letter, a
  // sector by the names verify gives.
  EXPECT_EQ(document["drive"], "A");
  EXPECT_EQ(Json::parse(cli({"read", "A", "plain.tsl", "--json"}).out)["code"], 0);
  EXPECT_EQ(document["bad_sectors"][1],
            Json::parse(R"({"sector":700,"cylinder":19,"head":0,"sector_in_track":17})"));
}

TEST_F(CliTest, AMapThatCannotBeUsedIsNamedWithWhatIsWrongWithIt) {
  drive('A', pattern(floppy_size));
  ASSERT_EQ(cli({"read", "A", "r.tsl", "--rescue"}).status, 0);
  const struct {
    std::string map;
    const char* first_line;
  } cases[] = {
      {"# Mapfile\n0x0 + 1\n0x0 0x200 +\nnonsense\n",
       "tessil-cli: Unable to use the map file: r.tsl.map: line 4: not an area"},
      {"0x0 + 1\n0x0 0x168000 +\n0x168000 0x200 -\n",
       "tessil-cli: Unable to use the map file: r.tsl.map: line 3: an area reaches past the "
       "disk's end"},
  };
  for (const auto& c : cases) {
    put(at("r.tsl.map"), c.map);
    const Result r = cli({"read", "A", "r.tsl", "--rescue"});
    EXPECT_EQ(r.status, 113) << r.err;
    EXPECT_EQ(r.err.rfind(c.first_line, 0), 0u) << r.err;
  }
}

}  // namespace
}  // namespace tessil::cli_test
