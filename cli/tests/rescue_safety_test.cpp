// A rescue never costs the only copy of what it made before: outputs that
// are one file, another disk in the drive, links at its names, a kill as it
// starts and batches into one folder all leave every image whole and its own.
#include "cli_fixture.h"

namespace tessil::cli_test {
namespace {

// The map as a damaged disk left it: sectors 100-103 bad, the rest rescued.
const std::string damaged_map =
    "# Mapfile\n0x00000000     +               1\n0x00000000  0x0000C800  +\n"
    "0x0000C800  0x00000800  -\n0x0000D000  0x0015B000  +\n";

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(CliTest, RescueRefusesOutputsThatAreOneFileAndAMapWithoutItsFolder) {
  drive('A', pattern(floppy_size));
  // The map named as the image by another spelling, or as the report.
  for (const std::string& map :
       {std::string("./r.tsl"), at("r.tsl").string(), std::string("r.tsl.json")}) {
    const Result r = cli({"read", "A", "r.tsl", "--rescue", "--map", map});
    EXPECT_EQ(r.status, 2) << map << "\n" << r.err;
    EXPECT_TRUE(contains(r.err, map + " is the ")) << r.err;
    EXPECT_FALSE(fs::exists(fs::symlink_status(at("r.tsl")))) << map;
  }

  // A map whose folder is missing: said of the map, and no image is left
  // to stop the same command once the folder is there.
  const std::vector<std::string> command{"read", "A", "r.tsl", "--rescue", "--map", "gone/r.map"};
  const Result missing = cli(command);
  EXPECT_EQ(missing.status, 114) << missing.err;
  EXPECT_TRUE(contains(missing.err, "gone/r.map")) << missing.err;
  EXPECT_FALSE(fs::exists(fs::symlink_status(at("r.tsl"))));
  fs::create_directory(at("gone"));
  const Result made = cli(command);
  EXPECT_EQ(made.status, 0) << made.err;
  EXPECT_TRUE(slurp(at("r.tsl")) == header(80, 2, 18, "") + pattern(floppy_size));
}

TEST_F(CliTest, RescueGoesOnOnlyWithItsOwnDiskAndReplacesLinksNotTheirTargets) {
  const std::string disk = pattern(floppy_size);
  drive('A', disk);
  ASSERT_EQ(cli({"read", "A", "r.tsl", "--rescue"}).status, 0);
  const std::string image = slurp(at("r.tsl"));
  // The map and the report are links planted to other files.
  put(at("kept.map"), damaged_map);
  put(at("kept.json"), "the user's own");
  for (const char* name : {"r.tsl.map", "r.tsl.json"}) fs::remove(at(name));
  fs::create_symlink("kept.map", at("r.tsl.map"));
  fs::create_symlink("kept.json", at("r.tsl.json"));

  // Another disk, alike in its first thousand sectors.
  std::string other = disk;
  for (uint64_t i = 1000 * 512; i < other.size(); ++i) other[i] = static_cast<char>(~other[i]);
  insert('A', other);
  const Result refused = cli({"read", "A", "r.tsl", "--rescue"});
  EXPECT_EQ(refused.status, 108) << refused.err;
  EXPECT_TRUE(
      contains(refused.err, "the disk in drive A is not the one this image was rescued from"))
      << refused.err;
  EXPECT_TRUE(slurp(at("r.tsl")) == image);
  EXPECT_TRUE(fs::is_symlink(at("r.tsl.map")));
  EXPECT_EQ(slurp(at("kept.map")), damaged_map);

  // Its own disk again: the links are replaced, what they led to is kept.
  insert('A', disk);
  const Result resumed = cli({"read", "A", "r.tsl", "--rescue"});
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_TRUE(slurp(at("r.tsl")) == header(80, 2, 18, "") + disk);
  for (const char* name : {"r.tsl.map", "r.tsl.json"})
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(at(name)))) << name;
  EXPECT_EQ(slurp(at("kept.map")), damaged_map);
  EXPECT_EQ(slurp(at("kept.json")), "the user's own");
  EXPECT_EQ(Json::parse(slurp(at("r.tsl.json")))["image"]["file"], "r.tsl");
}

TEST_F(CliTest, ARescueKilledAsItStartsLeavesNothingThatStopsTheSameCommand) {
  sparse_drive('A', big_size);
  const std::vector<std::string> command{"read", "A", "big.tsl", "--rescue"};
  const auto made_anything = [&] {
    for (const fs::directory_entry& entry : fs::directory_iterator(dir_))
      if (entry.path().filename() != "drive-A") return true;
    return false;
  };
  const auto made_map = [&] { return fs::exists(at("big.tsl.map")); };
  // Killed as soon as it made its first file, then as soon as its map.
  for (const std::function<bool()>& made :
       {std::function<bool()>(made_anything), std::function<bool()>(made_map)}) {
    std::vector<std::string> argv = command;
    argv.insert(argv.begin(), TESSIL_CLI_PATH);
    const pid_t pid = start(argv);
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (!made() && slurp(root_ / "stderr").empty() && Clock::now() < deadline)
      std::this_thread::yield();
    ::kill(pid, SIGKILL);
    EXPECT_EQ(finish(pid).status, 128 + SIGKILL);
    // An image is never there without its map.
    EXPECT_TRUE(!fs::exists(at("big.tsl")) || fs::exists(at("big.tsl.map")));
  }
  const Result again = cli(command);
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(fs::file_size(at("big.tsl")), tessil::image_header_size + big_size);
}

TEST_F(CliTest, RescueBatchesIntoOneFolderEachImageTheirOwnDiskUnderTheirOwnNumber) {
  const std::string letters = "ABCDEF";
  std::map<std::string, std::string> disks;  // by drive letter
  for (const char letter : letters) {
    std::string disk = pattern(163840);
    disk[0] = letter;
    drive(letter, disk);
    disks[std::string(1, letter)] = disk;
  }
  constexpr int rounds = 6;
  const std::string script = "for l in A B C D E F; do '" TESSIL_CLI_PATH
                             "' batch $l 'box/d%03d' --rescue --count 1 >/dev/null 2>&1 & done;"
                             " wait";
  fs::create_directory(at("box"));
  for (int round = 0; round < rounds; ++round)
    ASSERT_EQ(finish(start({"/bin/sh", "-c", script})).status, 0);

  // Every number once, each image holding the disk its report names.
  const int images = rounds * static_cast<int>(letters.size());
  for (int number = 1; number <= images; ++number) {
    char name[32];
    std::snprintf(name, sizeof name, "box/d%03d.tsl", number);
    ASSERT_TRUE(fs::exists(at(std::string(name) + ".json"))) << name;
    const Json report = Json::parse(slurp(at(std::string(name) + ".json")));
    const std::string& disk = disks[report["drive"]["letter"].get<std::string>()];
    EXPECT_TRUE(slurp(at(name)) == header(40, 1, 8, "") + disk) << name;
    EXPECT_TRUE(fs::exists(at(std::string(name) + ".map"))) << name;
  }
  // One heading, then one whole line per image.
  std::istringstream log(slurp(at("box/log.csv")));
  std::string line;
  std::getline(log, line);
  EXPECT_EQ(line, "number,file,time,result,bad_sectors,sha256,label,same_data_as");
  std::set<std::string> numbers;
  int lines = 0;
  for (; std::getline(log, line); ++lines) {
    EXPECT_TRUE(contains(line, ",0 Done,0,")) << line;
    numbers.insert(line.substr(0, line.find(',')));
  }
  EXPECT_EQ(lines, images);
  EXPECT_EQ(numbers.size(), static_cast<std::size_t>(images));
}

}  // namespace
}  // namespace tessil::cli_test
