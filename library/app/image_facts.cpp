#include "app/image_facts.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/read_report.h"
#include "fat_boot_sector.h"
#include "outcomes.h"
#include "raw_image.h"
#include "rescue/rescue_map.h"
#include "rescue/rescue_report.h"
#include "tessil.h"

namespace tessil::app {

uint64_t geometry_size_of(const ImageHeader& h) {
  return plausible_data_size(h.cylinders, h.tracks_per_cylinder, h.sectors_per_track,
                             h.bytes_per_sector);
}

std::string kind_text(const ImageFacts& image) {
  if (!image.raw()) return "tessil image";
  return "raw image of a " + std::string(image.raw_format->name) + " disk";
}

namespace {

const StandardFormat* boot_format_of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::array<char, boot_sector_bytes> bytes{};
  if (!in.read(bytes.data(), bytes.size())) return nullptr;
  return boot_sector_format(std::as_bytes(std::span(bytes)));
}

ImageFacts look(const std::string& path, bool checksums) {
  ImageFacts facts;
  facts.path = path;
  ImageFileInfo info;
  switch (inspect_image(path, checksums, info, facts.reason)) {
    case InspectResult::ok:
      break;
    case InspectResult::open_failed:
      facts.code = JOB_IMAGE_OPEN_FAILED;
      return facts;
    case InspectResult::read_failed:
      facts.code = JOB_HEADER_READ_FAILED;
      return facts;
  }
  facts.kind = info.kind;
  facts.file_size = info.file_size;
  if (info.kind != ImageKind::tessil) facts.boot_format = boot_format_of(path);
  if (info.kind == ImageKind::neither) return facts;
  facts.whole_header = true;
  facts.header = info.header;
  facts.data_size = info.data_size;
  facts.checksums = info.checksums;
  if (info.kind == ImageKind::raw) {
    facts.raw_format = standard_format_of(info.file_size);
    facts.geometry_size = info.data_size;
  } else {
    facts.geometry_size = geometry_size_of(info.header);
  }
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
    const uint64_t sector = std::max<uint64_t>(facts.header.bytes_per_sector, 1);
    const std::optional<rescue::RescueMap> map =
        text->size() < map_limit ? rescue::parse_map(*text, sector, facts.geometry_size, error)
                                 : std::nullopt;
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
  ImageFacts facts = look(path, checksums);
  if (facts.code == JOB_OK && facts.kind != ImageKind::neither) look_beside(facts);
  return facts;
}

}  // namespace tessil::app
