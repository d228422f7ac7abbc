// A batch's names: the one counter of its pattern, and numbers claimed so
// that no name is taken twice.
#include "batch_names.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tessil::cli {
namespace {

TEST(BatchNames, PatternsHaveExactlyOneCounterInTheFileName) {
  const struct {
    const char* pattern;
    const char* seventh;  // the name of number 7, or null when refused
  } rows[] = {
      {"disk-%03d", "disk-007"},
      {"box/d%d.img", "box/d7.img"},
      {"%2d", " 7"},
      {"100%%-%d", "100%-7"},
      {"disk", nullptr},
      {"%d-%d", nullptr},
      {"%d/disk", nullptr},
      {"disk-%x", nullptr},
  };
  for (const auto& row : rows) {
    std::string problem;
    const std::optional<NamePattern> pattern = parse_pattern(row.pattern, problem);
    if (!row.seventh) {
      EXPECT_FALSE(pattern) << row.pattern;
      EXPECT_FALSE(problem.empty()) << row.pattern;
      continue;
    }
    ASSERT_TRUE(pattern) << row.pattern << ": " << problem;
    EXPECT_EQ(pattern->name(7), row.seventh);
  }
}

TEST(BatchNames, ANumberWhoseImageReportOrMapExistsIsSkipped) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("tessil-names-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "d1.tsl") << "";
  std::ofstream(dir / "d2.tsl.json") << "";
  std::ofstream(dir / "d3.tsl.map") << "";
  std::string problem;
  const std::optional<NamePattern> pattern = parse_pattern((dir / "d%d").string(), problem);
  ASSERT_TRUE(pattern);
  long long number = 1;
  platform::Error reason = platform::Error::none;
  EXPECT_EQ(claim_name(*pattern, ".tsl", number, reason), (dir / "d4.tsl").string());
  EXPECT_EQ(number, 4);
  EXPECT_TRUE(std::filesystem::exists(dir / "d4.tsl")) << "the name is claimed at once";
  EXPECT_EQ(claim_name(*pattern, ".tsl", number, reason), (dir / "d5.tsl").string());
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tessil::cli
