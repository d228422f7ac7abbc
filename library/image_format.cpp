#include "image_format.h"

#include <algorithm>
#include <cstring>

#include "text_field.h"

namespace tessil {

namespace {

void put_u32(std::byte* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::byte>((value >> (8 * i)) & 0xFFu);
}

uint32_t get_u32(std::span<const std::byte> bytes, std::size_t offset) {
  uint32_t value = 0;
  for (std::size_t i = 0; i < 4 && offset + i < bytes.size(); ++i)
    value |= std::to_integer<uint32_t>(bytes[offset + i]) << (8 * i);
  return value;
}

// Length of a label held in `field`: up to its first NUL, at most 299 bytes.
std::size_t label_length(const char* field, std::size_t available) {
  const std::size_t limit = std::min(available, std::size_t{TESSIL_TEXT_SIZE - 1});
  const void* nul = std::memchr(field, '\0', limit);
  return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : limit;
}

}  // namespace

HeaderBytes encode_header(const ImageHeader& header) {
  HeaderBytes bytes{};
  put_u32(&bytes[0], header.cylinders);
  put_u32(&bytes[4], header.tracks_per_cylinder);
  put_u32(&bytes[8], header.sectors_per_track);
  put_u32(&bytes[12], header.bytes_per_sector);
  const std::size_t n = label_length(header.label, sizeof header.label);
  std::memcpy(&bytes[label_offset], header.label, n);
  return bytes;
}

ImageHeader decode_header(std::span<const std::byte> bytes) {
  bytes = bytes.first(std::min(bytes.size(), image_header_size));
  ImageHeader header{};
  header.cylinders = get_u32(bytes, 0);
  header.tracks_per_cylinder = get_u32(bytes, 4);
  header.sectors_per_track = get_u32(bytes, 8);
  header.bytes_per_sector = get_u32(bytes, 12);
  if (bytes.size() > label_offset) {
    const auto* field = reinterpret_cast<const char*>(bytes.data() + label_offset);
    const std::size_t n = label_length(field, bytes.size() - label_offset);
    std::memcpy(header.label, field, n);
  }
  return header;
}

bool same_geometry(const ImageHeader& a, const ImageHeader& b) {
  return a.cylinders == b.cylinders && a.tracks_per_cylinder == b.tracks_per_cylinder &&
         a.sectors_per_track == b.sectors_per_track && a.bytes_per_sector == b.bytes_per_sector;
}

void set_label(ImageHeader& header, std::string_view label) {
  const std::size_t n = utf8_cut(label, sizeof header.label - 1);
  // An empty view may have no data at all, which memcpy must never get.
  if (n > 0) std::memcpy(header.label, label.data(), n);
  header.label[n] = '\0';
}

}  // namespace tessil
