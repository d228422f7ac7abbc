#include "platform/linux/device_map.h"

#include <gtest/gtest.h>

#include <map>

namespace tessil::platform::linux_os {
namespace {

DeviceSources with_environment(std::map<std::string, std::string> variables) {
  return {[variables = std::move(variables)](const std::string& name) -> std::optional<std::string> {
    const auto found = variables.find(name);
    if (found == variables.end()) return std::nullopt;
    return found->second;
  }};
}

TEST(DriveLetter, OnlyOneAsciiLetterAfterThePrefix) {
  EXPECT_EQ(drive_letter_of("\\\\.\\A:"), 'A');
  EXPECT_EQ(drive_letter_of("\\\\.\\b:"), 'B');
  EXPECT_EQ(drive_letter_of("\\\\.\\z:"), 'Z');
  for (const char* bad : {"", "\\\\.\\:", "\\\\.\\AB:", "\\\\.\\1:", "\\\\.\\A", "\\\\.\\A:x",
                          "A:", "\\\\?\\A:", "\\\\.\\\xC3\x84:", "\\\\.\\@:", "\\\\.\\[:"})
    EXPECT_EQ(drive_letter_of(bad), std::nullopt) << bad;
}

TEST(ResolveDevice, DefaultsForAAndBOnly) {
  const DeviceSources none = with_environment({});
  EXPECT_EQ(resolve_device("\\\\.\\A:", none), "/dev/fd0");
  EXPECT_EQ(resolve_device("\\\\.\\b:", none), "/dev/fd1");
  EXPECT_EQ(resolve_device("\\\\.\\C:", none), std::nullopt);
  EXPECT_EQ(resolve_device("\\\\.\\AB:", none), std::nullopt);
}

TEST(ResolveDevice, EnvironmentWinsWhenNotEmpty) {
  const DeviceSources sources = with_environment(
      {{"TESSIL_DRIVE_A", "/dev/sdb"}, {"TESSIL_DRIVE_B", ""}, {"TESSIL_DRIVE_X", "/tmp/x.img"}});
  EXPECT_EQ(resolve_device("\\\\.\\a:", sources), "/dev/sdb");
  EXPECT_EQ(resolve_device("\\\\.\\B:", sources), "/dev/fd1");
  EXPECT_EQ(resolve_device("\\\\.\\X:", sources), "/tmp/x.img");
}

}  // namespace
}  // namespace tessil::platform::linux_os
