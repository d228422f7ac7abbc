// Any bytes as the start of an image file: the header decoder, encoding its
// result again, and getimageinfo on a file that holds those bytes. Each is
// checked against the file format as read here, byte by byte.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

#include "fuzz_support.h"
#include "image_format.h"
#include "tessil.h"

namespace {

using tessil::fuzz::require;

// The four integers, from whatever part of them the bytes hold.
uint32_t field(const uint8_t* data, std::size_t size, std::size_t index) {
  uint32_t value = 0;
  for (std::size_t i = 0; i < 4 && 4 * index + i < size; ++i)
    value |= uint32_t{data[4 * index + i]} << (8 * i);
  return value;
}

// The label: from byte 16 of the header up to its first NUL, at most 299
// bytes.
std::string stored_label(const uint8_t* data, std::size_t size) {
  std::string label;
  const std::size_t end = std::min<std::size_t>(size, TESSIL_IMAGE_HEADER_SIZE);
  for (std::size_t i = tessil::label_offset;
       i < end && data[i] != 0 && label.size() < TESSIL_TEXT_SIZE - 1; ++i)
    label += static_cast<char>(data[i]);
  return label;
}

tessil::fuzz::ImageFile* image = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  image = new tessil::fuzz::ImageFile();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const ImageHeader header = tessil::decode_header(std::as_bytes(std::span(data, size)));
  require(header.cylinders == field(data, size, 0), "cylinders");
  require(header.tracks_per_cylinder == field(data, size, 1), "tracks per cylinder");
  require(header.sectors_per_track == field(data, size, 2), "sectors per track");
  require(header.bytes_per_sector == field(data, size, 3), "bytes per sector");
  require(std::memchr(header.label, '\0', sizeof header.label) != nullptr, "label without NUL");
  const std::string label = stored_label(data, size);
  require(label == header.label, "label");

  // Encoding gives the header back with everything after the label's NUL
  // zeroed and the bytes the input lacked zero.
  const tessil::HeaderBytes encoded = tessil::encode_header(header);
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    uint8_t expected = 0;
    if (i < tessil::label_offset)
      expected = i < size ? data[i] : 0;
    else if (i - tessil::label_offset < label.size())
      expected = static_cast<uint8_t>(label[i - tessil::label_offset]);
    require(std::to_integer<uint8_t>(encoded[i]) == expected, "encoded header");
  }

  // getimageinfo writes the label and its NUL, nothing past them, and
  // nothing at all for an empty file.
  image->hold(data, size);
  char out[TESSIL_TEXT_SIZE + 16];
  std::memset(out, 0x5A, sizeof out);
  require(getimageinfo(image->path(), out) == 0, "getimageinfo returned nonzero");
  const std::size_t written = size == 0 ? 0 : label.size() + 1;
  if (written > 0) require(std::memcmp(out, label.c_str(), written) == 0, "label from the file");
  for (std::size_t i = written; i < sizeof out; ++i)
    require(out[i] == 0x5A, "getimageinfo wrote past the label");
  return 0;
}
