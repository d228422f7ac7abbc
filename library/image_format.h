// The image file: a 316-byte header that records the disk's geometry and a
// label, then every byte of the disk in device order.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "tessil.h"

namespace tessil {

constexpr std::size_t image_header_size = TESSIL_IMAGE_HEADER_SIZE;
constexpr std::size_t label_offset = 16;
using HeaderBytes = std::array<std::byte, image_header_size>;

// Encodes the header field by field, little-endian. The label is copied up
// to its NUL (at most 299 bytes); the rest of its field is zero.
HeaderBytes encode_header(const ImageHeader& header);

// Decodes the first `bytes.size()` header bytes (a file may hold fewer than
// 316). Fields, or the part of the label, that were not read stay zero; the
// label always ends with a NUL within its field.
ImageHeader decode_header(std::span<const std::byte> bytes);

// True when the four geometry fields of `header` equal the drive's.
bool same_geometry(const ImageHeader& header, const ImageHeader& drive);

// Puts `label` into the header's field, cut to 299 bytes between whole
// UTF-8 characters.
void set_label(ImageHeader& header, std::string_view label);

}  // namespace tessil
