// What an image file holds: its header's label and geometry, and whether
// the data behind the header fill that geometry.
#pragma once

#include <cstdint>
#include <string>

#include "image_format.h"
#include "platform/platform.h"

namespace tessil::cli {

struct ImageFacts {
  std::string path;
  int32_t code = 0;  // 0, or the job code of why it cannot be used (106, 107)
  platform::Error reason = platform::Error::none;
  bool whole_header = false;  // all 316 header bytes are there
  ImageHeader header{};
  uint64_t geometry_size = 0;  // bytes the geometry describes
  uint64_t data_size = 0;      // bytes behind the header

  bool complete() const { return whole_header && geometry_size > 0 && data_size >= geometry_size; }
};

// Opens the file the way the write job does (never waiting on it) and reads
// its header and the size of its data.
ImageFacts look_at_image(const std::string& path);

// The number of bytes the header's geometry describes.
uint64_t geometry_size_of(const ImageHeader& header);

}  // namespace tessil::cli
