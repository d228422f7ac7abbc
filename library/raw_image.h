// Raw images next to tessil images: what a file is, and turning one kind
// into the other. A raw image is the sectors of a standard format and
// nothing else; its format comes from its size, and it has no label.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "image_format.h"
#include "job_request.h"
#include "standard_formats.h"

namespace tessil {

// A header for a raw image of `format`, with `label`.
ImageHeader header_of(const StandardFormat& format, std::string_view label = {});

// What an image file holds, as far as its size and header tell.
struct ImageFileInfo {
  ImageKind kind = ImageKind::neither;
  ImageHeader header{};        // a raw image's is made from its size
  uint64_t file_size = 0;      // bytes
  uint64_t data_size = 0;      // bytes of sectors, header excluded
  bool geometry_fits = false;  // the header's geometry is exactly the data's size
  Checksums checksums;         // of the data, when asked for
};

enum class InspectResult {
  ok,
  open_failed,  // the file could not be opened or its size told
  read_failed,  // the file could not be read to its end
};

// Looks at `path`; with `checksums` reads its data once to take them.
InspectResult inspect_image(const std::string& path, bool checksums, ImageFileInfo& info,
                            platform::Error& error, platform::Platform& os = platform::current());

struct ConvertRequest {
  std::string input;
  std::string output;
  std::optional<std::string> label;  // for a new tessil image; none: empty
  bool replace = false;              // an existing output may be replaced
  bool private_output = false;       // readable by its owner alone
  // An input of no kind is a short raw image of this format, its missing
  // sectors zeros; null: it is no image.
  const StandardFormat* short_raw_format = nullptr;
  // The platform the conversion reaches files through; null: the process's.
  platform::Platform* platform = nullptr;
};

enum class ConvertResult {
  ok,
  input_unreadable,   // the input could not be opened or read
  not_an_image,       // the input is neither a tessil nor a raw image
  no_raw_format,      // a tessil image of no standard format, or not of its data's size
  output_exists,      // and `replace` was not given
  same_file,          // the output is the input itself
  output_not_a_file,  // the output names a device, a folder or the like
  output_is_a_disk,   // the output is a drive's disk, or stands behind a device
  output_failed,      // the output could not be created or written
};

struct ConvertOutcome {
  ConvertResult result = ConvertResult::ok;
  ImageKind from = ImageKind::neither;  // the input's kind; the output is the other
  platform::Error reason = platform::Error::none;
  Checksums checksums;  // of the data carried over
};

// A tessil image into a raw image, or a raw image into a tessil image,
// streaming the data once. A failed conversion leaves no output behind.
ConvertOutcome convert_image(const ConvertRequest& request);

}  // namespace tessil
