#include "image_facts.h"

#include <filesystem>
#include <vector>

#include "raw_image.h"
#include "tessil.h"

namespace tessil::cli {

uint64_t geometry_size_of(const ImageHeader& h) {
  return uint64_t{h.cylinders} * h.tracks_per_cylinder * h.sectors_per_track * h.bytes_per_sector;
}

std::string kind_text(const ImageFacts& image) {
  if (!image.raw()) return "tessil image";
  return "raw image of a " + std::string(image.raw_format->name) + " disk";
}

namespace {

ImageFacts look(const std::string& path) {
  ImageFacts facts;
  facts.path = path;
  const std::unique_ptr<platform::ImageFile> file =
      platform::current().open_image(path.c_str(), platform::ImageMode::read, facts.reason);
  if (!file) {
    facts.code = JOB_IMAGE_OPEN_FAILED;
    return facts;
  }
  // Only a regular file is ever taken for a raw image: a device's size is
  // the device's, not an image's.
  std::error_code kind_error;
  const std::optional<uint64_t> file_size = file->size();
  if (file_size && std::filesystem::is_regular_file(path, kind_error) &&
      image_kind_of_size(*file_size) == ImageKind::raw) {
    facts.raw_format = standard_format_of(*file_size);
    facts.whole_header = true;
    facts.header = header_of(*facts.raw_format);
    facts.geometry_size = facts.data_size = *file_size;
    return facts;
  }
  HeaderBytes bytes{};
  const platform::ReadResult got = file->read(bytes);
  if (got.count == 0) {
    facts.code = JOB_HEADER_READ_FAILED;
    facts.reason = got.error;
    return facts;
  }
  facts.whole_header = got.count == bytes.size();
  facts.header = decode_header(std::span(bytes).first(got.count));
  facts.geometry_size = geometry_size_of(facts.header);
  if (!facts.whole_header) return facts;

  // A regular file tells its size; anything else (a block device) is counted.
  std::error_code error;
  if (std::filesystem::is_regular_file(path, error)) {
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (!error) {
      facts.data_size = size > image_header_size ? size - image_header_size : 0;
      return facts;
    }
  }
  std::vector<std::byte> block(64 * 1024);
  for (platform::ReadResult part = file->read(block); part.count > 0; part = file->read(block))
    facts.data_size += part.count;
  return facts;
}

}  // namespace

ImageFacts look_at_image(const std::string& path, bool checksums) {
  ImageFacts facts = look(path);
  if (facts.code != JOB_OK || !checksums) return facts;
  ImageFileInfo info;
  if (inspect_image(path, true, info, facts.reason) != InspectResult::ok)
    facts.code = JOB_HEADER_READ_FAILED;
  facts.checksums = info.checksums;
  return facts;
}

}  // namespace tessil::cli
