// The FAT volume label that batch --label-from-volume takes from a disk's
// first sectors.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "disk_head.h"

namespace {

// A 1.44 MB FAT12 start: boot sector, two 9-sector FATs, then the root
// directory at sector 19. `boot_label` goes into the extended boot record.
std::vector<std::byte> fat_head(const char* boot_label, std::size_t length = 32 * 1024) {
  std::vector<std::byte> head(length);
  const auto set = [&](std::size_t at, unsigned value) { head[at] = std::byte(value); };
  set(11, 0x00), set(12, 0x02);  // 512 bytes per sector
  set(13, 1);
  set(14, 1);     // one reserved sector
  set(16, 2);     // two FATs
  set(17, 224);   // root entries
  set(22, 9);     // sectors per FAT
  set(38, 0x29);  // extended boot record
  std::memcpy(head.data() + 43, boot_label, 11);
  return head;
}

void entry(std::vector<std::byte>& head, int index, const char* name, unsigned attributes) {
  const std::size_t at = 19 * 512 + static_cast<std::size_t>(index) * 32;
  std::memcpy(head.data() + at, name, 11);
  head[at + 11] = std::byte(attributes);
}

TEST(VolumeLabel, RootDirectoryEntryFirstThenBootSector) {
  struct Case {
    const char* what;
    std::vector<std::byte> head;
    std::string label;
  };
  std::vector<Case> cases;
  {
    auto head = fat_head("STALE      ");
    entry(head, 0, "\xE5OLD    TXT", 0x20);    // deleted
    entry(head, 1, "AB\0C\0D\0E\0F\0", 0x0F);  // long name part
    entry(head, 2, "TAX 1994   ", 0x08);
    cases.push_back({"root directory label", head, "TAX 1994"});
  }
  {
    auto head = fat_head("BOOT LABEL ");
    entry(head, 0, "README  TXT", 0x20);
    cases.push_back({"root directory without a label", head, ""});
  }
  cases.push_back({"root directory not read", fat_head("BOOT LABEL ", 4096), "BOOT LABEL"});
  cases.push_back({"NO NAME", fat_head("NO NAME    ", 4096), ""});
  cases.push_back({"not FAT", std::vector<std::byte>(4096), ""});
  cases.push_back({"too short", std::vector<std::byte>(100), ""});
  for (const Case& c : cases) EXPECT_EQ(tessil::cli::fat_volume_label(c.head), c.label) << c.what;
}

}  // namespace
