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

}  // namespace
}  // namespace tessil::cli_test
