#include "image_facts.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <nlohmann/json.hpp>

#include "outcomes.h"
#include "raw_image.h"
#include "read_report.h"
#include "rescue/rescue_map.h"
#include "rescue/rescue_report.h"
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

// The start of a small file beside the image; nothing when there is none.
// What is read is bounded: the file is anybody's.
std::optional<std::string> small_file(const std::string& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(limit, '\0');
  in.read(text.data(), static_cast<std::streamsize>(limit));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

// A rescue's map beside the image, or a report of a read that failed.
void look_beside(ImageFacts& facts) {
  constexpr std::size_t map_limit = 4 << 20, report_limit = 1 << 20;
  const std::string map_path = facts.path + ".map";
  if (const std::optional<std::string> text = small_file(map_path, map_limit)) {
    std::string error;
    const std::optional<rescue::RescueMap> map =
        text->size() < map_limit ? rescue::parse_map(*text, error) : std::nullopt;
    const uint64_t sector = std::max<uint64_t>(facts.header.bytes_per_sector, 1);
    if (!map) {
      facts.missing = "its rescue map " + map_path + " cannot be read";
    } else if (const rescue::SectorCounts counts = rescue::count_sectors(*map, sector);
               counts.bad + counts.untried > 0 || map->size() < facts.geometry_size) {
      facts.sectors_missing =
          counts.bad + counts.untried +
          (facts.geometry_size - std::min(map->size(), facts.geometry_size)) / sector;
      facts.missing =
          std::to_string(facts.sectors_missing) + " sectors missing, by its map " + map_path;
    }
    if (!facts.missing.empty()) return;
  }
  const std::optional<std::string> text = small_file(report_path_of(facts.path), report_limit);
  if (!text) return;
  const nlohmann::json report = nlohmann::json::parse(*text, nullptr, false);
  if (!report.is_object() || report.value("format", "") != "tessil-read-report") return;
  const nlohmann::json code = report["result"]["code"];
  if (code.is_number_integer() && code.get<int64_t>() != 0) {
    const int32_t result = static_cast<int32_t>(code.get<int64_t>());
    facts.missing = "the read that made it ended with " + std::to_string(result) + " (" +
                    std::string(result_text(result)) + "), as its report says";
  }
}

}  // namespace

ImageFacts look_at_image(const std::string& path, bool checksums) {
  ImageFacts facts = look(path);
  if (facts.code == JOB_OK) look_beside(facts);
  if (facts.code != JOB_OK || !checksums) return facts;
  ImageFileInfo info;
  if (inspect_image(path, true, info, facts.reason) != InspectResult::ok)
    facts.code = JOB_HEADER_READ_FAILED;
  facts.checksums = info.checksums;
  return facts;
}

}  // namespace tessil::cli
