// What a plain read that failed says: where, and the command that rescues
// the rest.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "read_to_rescue.h"

namespace {

TEST(ReadToRescue, AFailedReadNamesItsSectorAndTheRescueCommand) {
  const std::filesystem::path drive =
      std::filesystem::temp_directory_path() /
      ("tessil-read-to-rescue-" + std::to_string(std::random_device{}()));
  std::ofstream(drive, std::ios::binary) << std::string(1474560, '\0');
  ::setenv("TESSIL_DRIVE_Q", drive.c_str(), 1);
  testing::internal::CaptureStderr();
  tessil::cli::tell_where_read_failed('Q', nullptr, 1000 * 512, "box/old.img");
  const std::string said = testing::internal::GetCapturedStderr();
  std::filesystem::remove(drive);
  EXPECT_NE(said.find(": sector 1000 (C/H/S 27/1/11)\n"), std::string::npos) << said;
  EXPECT_NE(said.find(": tessil-cli read Q box/old.img --rescue\n"), std::string::npos) << said;
}

}  // namespace
