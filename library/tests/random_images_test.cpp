// Arbitrary files offered as images: the label query and the write job must
// never read out of bounds, and the disk is written only when the header
// matches it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "image_format.h"
#include "tessil.h"

namespace tessil {
namespace {

using testing::FakePlatform;
using testing::make_medium;
using testing::TempDir;
using testing::wait_idle;
using testing::write_file;

TEST(RandomImages, NeverHarmTheProcessOrAnUnmatchedDisk) {
  FakePlatform fake;
  TempDir dir;
  const testing::FakeMedium medium = make_medium(40, 1, 8);
  ImageHeader matching{};
  matching.cylinders = 40;
  matching.tracks_per_cylinder = 1;
  matching.sectors_per_track = 8;
  matching.bytes_per_sector = 512;
  const HeaderBytes good_header = encode_header(matching);

  std::mt19937 random(20261207);
  const std::string path = dir.path("random.img");
  for (int round = 0; round < 300; ++round) {
    std::vector<std::byte> file(random() % 2048);
    for (std::byte& b : file) b = static_cast<std::byte>(random() & 0xFF);
    // A third of the files start with a header that matches the disk, some
    // of them cut short.
    const bool matches = round % 3 == 0;
    if (matches) {
      const std::size_t n = std::min(file.size(), good_header.size());
      std::memcpy(file.data(), good_header.data(), n);
      // The rest of the label field is random: no NUL need follow.
    }
    write_file(path, file);

    std::vector<char> label(TESSIL_TEXT_SIZE + 16, '\x7F');
    getimageinfo(path.c_str(), label.data());
    ASSERT_TRUE(std::all_of(label.begin() + TESSIL_TEXT_SIZE, label.end(),
                            [](char c) { return c == '\x7F'; }));
    if (!file.empty()) {
      ASSERT_NE(std::memchr(label.data(), '\0', TESSIL_TEXT_SIZE), nullptr);
    }

    fake.insert("A", medium);
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(writedisk("A", path.c_str()), 0);
    ASSERT_TRUE(wait_idle());
    ::testing::internal::GetCapturedStdout();
    const std::vector<std::byte> disk = fake.contents("A");
    const bool whole_header = file.size() >= image_header_size;
    if (!(matches && whole_header)) {
      ASSERT_EQ(disk, medium.data) << "round " << round;
      ASSERT_TRUE(getreturnvalue() == JOB_HEADER_READ_FAILED ||
                  getreturnvalue() == JOB_GEOMETRY_MISMATCH)
          << "round " << round;
    } else {
      const std::size_t data = file.size() - image_header_size;
      ASSERT_EQ(getreturnvalue(), JOB_SHORT_WRITE);
      ASSERT_TRUE(std::equal(disk.begin(), disk.begin() + data, file.begin() + image_header_size));
      ASSERT_TRUE(std::equal(disk.begin() + data, disk.end(), medium.data.begin() + data));
    }
  }
}

}  // namespace
}  // namespace tessil
