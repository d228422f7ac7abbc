// A rescue at the sizes that hostile maps and large drives bring: a map
// loads in one pass and a signal stops even its loading, a large drive's
// picture has a bounded number of lines, and a drive that is not whole
// sectors is refused.
#include "cli_fixture.h"

#include <algorithm>

namespace tessil::cli_test {
namespace {

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A map with one area a byte over the first `bytes` of a disk of `size`:
// each sector's last byte bad, the rest rescued; then non-tried to the end.
std::string bytewise_map(uint64_t bytes, uint64_t size) {
  std::string text = "# Mapfile\n0x00000000     ?               1\n";
  text.reserve(bytes * 27);
  char line[64];
  for (uint64_t pos = 0; pos < bytes; ++pos) {
    std::snprintf(line, sizeof line, "0x%08llX  0x00000001  %c\n",
                  static_cast<unsigned long long>(pos), pos % 512 == 511 ? '-' : '+');
    text += line;
  }
  if (bytes < size) {
    std::snprintf(line, sizeof line, "0x%08llX  0x%08llX  ?\n",
                  static_cast<unsigned long long>(bytes),
                  static_cast<unsigned long long>(size - bytes));
    text += line;
  }
  return text;
}

TEST_F(CliTest, AMapOfOneByteAreasLoadsInOnePassAndASignalStopsItsLoading) {
  drive('A', pattern(floppy_size));
  ASSERT_EQ(cli({"read", "A", "r.tsl", "--rescue"}).status, 0);
  // Valid, and as fragmented as a map can be: no sector wholly rescued.
  put(at("r.tsl.map"), bytewise_map(floppy_size, floppy_size));
  const pid_t pid = start({TESSIL_CLI_PATH, "read", "A", "r.tsl", "--rescue", "--retries", "0"});
  Result r;
  r.status = wait_for(pid, std::chrono::seconds(30));
  r.out = slurp(root_ / "stdout");
  ASSERT_EQ(r.status, 4) << slurp(root_ / "stderr");
  EXPECT_TRUE(contains(r.out, "0 of 2880 sectors rescued, 2880 bad, 0 not tried")) << r.out;
  // Each sector once, however many areas it was.
  EXPECT_TRUE(contains(r.out, " 1 (0/0/2) 2 (0/0/3) ")) << r.out.substr(0, 300);

  // A large disk behind the same map: the signal comes while it loads, or
  // while the image is filled after it; either stops within a second.
  sparse_drive('B', big_size);
  put(at("big.tsl"), header(static_cast<uint32_t>(big_size / 512), 1, 1, ""));
  fs::resize_file(at("big.tsl"), tessil::image_header_size + big_size);
  put(at("big.tsl.map"), bytewise_map(floppy_size, big_size));
  const pid_t big = start({TESSIL_CLI_PATH, "read", "B", "big.tsl", "--rescue"});
  ASSERT_TRUE(wait_until_catching(big, SIGTERM));
  ::kill(big, SIGTERM);
  const auto signalled = Clock::now();
  ASSERT_TRUE(wait_for_text("stderr", "User cancelled"));
  EXPECT_LT(Clock::now() - signalled, std::chrono::seconds(2));
  EXPECT_EQ(finish(big).status, 105);
}

TEST_F(CliTest, ALargeDrivesPictureIsASummaryOfBoundedLines) {
  constexpr uint64_t sectors = big_size / 512;
  sparse_drive('A', big_size);
  put(at("big.tsl"), header(static_cast<uint32_t>(sectors), 1, 1, ""));
  fs::resize_file(at("big.tsl"), tessil::image_header_size + big_size);
  // Rescued but for sectors 1000 to 1003.
  put(at("big.tsl.map"), "0x0 + 1\n0x0 0x7D000 +\n0x7D000 0x800 -\n0x7D800 0xFF82800 +\n");
  const Result r = cli({"read", "A", "big.tsl", "--rescue", "--retries", "0"});
  ASSERT_EQ(r.status, 4) << r.err;
  EXPECT_LT(std::count(r.out.begin(), r.out.end(), '\n'), 80) << r.out.substr(0, 2000);
  // 4096 characters for 524288 sectors; the eighth holds the bad ones.
  EXPECT_TRUE(contains(r.out, "each character 128 sectors\n       0  .......X........")) << r.out;
}

TEST_F(CliTest, ADriveThatIsNotWholeSectorsIsRefusedBeforeAnythingIsMade) {
  for (const uint64_t size : {floppy_size + 1, uint64_t{300}}) {
    drive('A', pattern(size));
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"read", "A", "r.tsl"},
          std::vector<std::string>{"read", "A", "r.tsl", "--rescue"},
          std::vector<std::string>{"batch", "A", "b%d", "--count", "1"}}) {
      const Result r = cli(command);
      EXPECT_EQ(r.status, 118) << size << " " << command[0] << "\n" << r.err;
      EXPECT_TRUE(contains(r.err, "The disk has no whole sectors: drive A (")) << r.err;
      EXPECT_TRUE(contains(r.err, std::to_string(size) + " bytes")) << r.err;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1) << size;
  }
}

}  // namespace
}  // namespace tessil::cli_test
