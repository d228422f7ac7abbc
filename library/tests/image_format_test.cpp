// The image header on disk and the label query.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "image_format.h"
#include "tessil.h"

namespace tessil {
namespace {

using testing::read_file;
using testing::TempDir;
using testing::write_file;

ImageHeader header_with(const std::string& label) {
  ImageHeader header{};
  header.cylinders = 80;
  header.tracks_per_cylinder = 2;
  header.sectors_per_track = 18;
  header.bytes_per_sector = 512;
  std::memcpy(header.label, label.c_str(), label.size() + 1);
  return header;
}

std::vector<std::byte> to_vector(const HeaderBytes& bytes) {
  return std::vector<std::byte>(bytes.begin(), bytes.end());
}

// What getimageinfo leaves in a caller's buffer of 300 blanks and a NUL.
std::string label_of(const std::string& path) {
  std::string buffer(300, ' ');
  getimageinfo(path.c_str(), buffer.data());
  return buffer.substr(0, buffer.find('\0'));
}

TEST(ImageHeader, IsLittleEndianFieldByField) {
  ImageHeader header = header_with("My floppy image");
  header.cylinders = 0x01020304;
  const HeaderBytes bytes = encode_header(header);
  EXPECT_EQ(bytes[0], std::byte{0x04});
  EXPECT_EQ(bytes[3], std::byte{0x01});
  EXPECT_EQ(bytes[4], std::byte{2});
  EXPECT_EQ(bytes[8], std::byte{18});
  EXPECT_EQ(bytes[12], std::byte{0x00});
  EXPECT_EQ(bytes[13], std::byte{0x02});
  EXPECT_EQ(std::memcmp(&bytes[16], "My floppy image", 16), 0);
  EXPECT_EQ(bytes[315], std::byte{0});

  const ImageHeader back = decode_header(bytes);
  EXPECT_TRUE(same_geometry(back, header));
  EXPECT_STREQ(back.label, "My floppy image");
}

TEST(ImageHeader, ComparesGeometryButNotTheLabel) {
  const ImageHeader a = header_with("one");
  ImageHeader b = header_with("two");
  EXPECT_TRUE(same_geometry(a, b));
  for (uint32_t ImageHeader::*field :
       {&ImageHeader::cylinders, &ImageHeader::tracks_per_cylinder, &ImageHeader::sectors_per_track,
        &ImageHeader::bytes_per_sector}) {
    b = a;
    b.*field += 1;
    EXPECT_FALSE(same_geometry(a, b));
  }
}

TEST(LabelQuery, DeliversTheStoredLabel) {
  TempDir dir;
  const std::string label299(299, 'L');
  for (const std::string& label : {std::string(), std::string("My floppy image"), label299}) {
    std::vector<std::byte> file = to_vector(encode_header(header_with(label)));
    write_file(dir.path("header-only.img"), file);
    EXPECT_EQ(label_of(dir.path("header-only.img")), label);
    file.resize(file.size() + 80 * 2 * 18 * 512, std::byte{0xF6});
    write_file(dir.path("whole.img"), file);
    EXPECT_EQ(label_of(dir.path("whole.img")), label);
  }
}

TEST(LabelQuery, LeavesTheBufferAloneWhenNothingCanBeRead) {
  TempDir dir;
  write_file(dir.path("empty.img"), {});
  const std::string blanks(300, ' ');
  EXPECT_EQ(label_of(dir.path("missing.img")), blanks);
  EXPECT_EQ(label_of(dir.path("empty.img")), blanks);
  EXPECT_EQ(label_of(dir.path("")), blanks) << "a directory is no image";
  char untouched[4] = "abc";
  EXPECT_EQ(getimageinfo(nullptr, untouched), 0);
  EXPECT_STREQ(untouched, "abc");
}

TEST(LabelQuery, ReadsNoFurtherThanTheBytesAFileHolds) {
  TempDir dir;
  const HeaderBytes full = encode_header(header_with("ABCDEFGH"));
  for (std::size_t size = 1; size < image_header_size; ++size) {
    write_file(dir.path("partial.img"), std::vector<std::byte>(full.begin(), full.begin() + size));
    const std::string expected = size <= 16 ? "" : std::string("ABCDEFGH").substr(0, size - 16);
    ASSERT_EQ(label_of(dir.path("partial.img")), expected) << "file of " << size << " bytes";
  }
}

TEST(LabelQuery, BoundsALabelFieldWithoutANul) {
  TempDir dir;
  std::vector<std::byte> bytes(image_header_size + 512, std::byte{'Z'});
  write_file(dir.path("no-nul.img"), bytes);
  std::string buffer(300, '\x7F');
  buffer.push_back('\x7F');  // a guard byte past the 300 the caller owns
  getimageinfo(dir.path("no-nul.img").c_str(), buffer.data());
  EXPECT_EQ(buffer.substr(0, 299), std::string(299, 'Z'));
  EXPECT_EQ(buffer[299], '\0');
  EXPECT_EQ(buffer[300], '\x7F');
}

}  // namespace
}  // namespace tessil
