// What an image file holds: its header's label and geometry, and whether
// the data behind the header fill that geometry.
#pragma once

#include <cstdint>
#include <string>

#include "image_format.h"
#include "job_request.h"
#include "platform/platform.h"
#include "standard_formats.h"

namespace tessil::app {

struct ImageFacts {
  std::string path;
  int32_t code = 0;                     // 0, or the job code of why it cannot be used (106, 107)
  ImageKind kind = ImageKind::neither;  // neither: never taken for an image
  platform::Error reason = platform::Error::none;
  bool whole_header = false;  // all 316 header bytes are there
  ImageHeader header{};
  uint64_t geometry_size = 0;  // bytes the geometry describes
  uint64_t data_size = 0;      // bytes behind the header
  // A raw image: the sectors of `format` and nothing else, without a label;
  // its header is made from the size.
  const StandardFormat* raw_format = nullptr;
  uint64_t file_size = 0;  // bytes, header included
  // The standard format a FAT boot sector at its start was made for; null
  // for none. Looked for in raw images and in files of no kind, which a
  // raw name can make short raw images.
  const StandardFormat* boot_format = nullptr;
  Checksums checksums;  // of the data, when asked for
  // What lies beside the image says its data are not the whole disk: the
  // rescue map IMAGE.map has sectors still missing, or the report
  // IMAGE.json records a read that did not go through. Words, or empty.
  std::string missing;
  uint64_t sectors_missing = 0;  // by the map, when it says

  bool raw() const { return raw_format != nullptr; }

  bool complete() const {
    return whole_header && geometry_size > 0 && data_size >= geometry_size && missing.empty();
  }
};

// What the engine's one classification makes of the file or device (never
// waiting on it): its kind, header and the size of its data, and what lies
// beside it. With `checksums`, reads the data once to take them.
ImageFacts look_at_image(const std::string& path, bool checksums = false);

// "raw image of a 1.44 MB disk" or "tessil image".
inline constexpr const char* neither_kind_words =
    " is neither a tessil image (a 316-byte header describing a disk, then its sectors) nor a "
    "raw image (exactly the size of a standard floppy format)";
std::string kind_text(const ImageFacts& image);

// The number of bytes the header's geometry describes; 0 for a geometry
// that no disk has.
uint64_t geometry_size_of(const ImageHeader& header);

// A file of no kind, taken for a raw image by its name or the caller's
// word, that holds fewer bytes than a disk of `disk_size`: its sectors, the
// last one counted whole.
inline bool short_raw(const ImageFacts& image, uint64_t disk_size) {
  return image.code == 0 && image.kind == ImageKind::neither && image.file_size > 0 &&
         image.file_size < disk_size;
}
inline uint64_t sectors_in(uint64_t bytes) {
  return (bytes + standard_sector_size - 1) / standard_sector_size;
}

}  // namespace tessil::app
