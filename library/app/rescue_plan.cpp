#include "app/rescue_plan.h"

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/image_facts.h"
#include "app/read_report.h"
#include "image_format.h"
#include "outcomes.h"
#include "platform/platform.h"
#include "standard_formats.h"

namespace tessil::app {

namespace {

bool exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

RescuePlan refuse(std::string why, int32_t code = 0) {
  RescuePlan plan;
  plan.refusal = std::move(why);
  plan.code = code;
  return plan;
}

// The map of the image a plain read left, when something says it is one.
std::optional<std::string> map_of_read_image(const DiskRescueRequest& request) {
  if (!request.after_failed_read) return map_of_failed_read(request.image);
  std::error_code error;
  const uint64_t size = std::filesystem::file_size(request.image, error);
  const uint64_t header = request.raw.value_or(false) ? 0 : image_header_size;
  if (error || size < header) return std::nullopt;
  return map_of_partial_image(size - header, standard_sector_size);
}

}  // namespace

std::string map_of_partial_image(uint64_t data_bytes, uint64_t sector_size) {
  const uint64_t held = data_bytes / sector_size * sector_size;
  // The rest of the disk is not in the map: a rescue takes it as not tried.
  char text[160];
  std::snprintf(text, sizeof text,
                "# Mapfile: what a read that failed left in the image\n"
                "0x%08" PRIX64
                "     ?               1\n"
                "0x%08" PRIX64 "  0x%08" PRIX64 "  +\n",
                held, uint64_t(0), held);
  return text;
}

std::optional<std::string> map_of_failed_read(const std::string& image) {
  std::ifstream in(report_path_of(image), std::ios::binary);
  const nlohmann::json report = nlohmann::json::parse(in, nullptr, false);
  if (!report.is_object() || report.value("format", "") != "tessil-read-report") return {};
  const nlohmann::json& code = report["result"]["code"];
  const nlohmann::json& size = report["image"]["size"];
  if (!code.is_number_integer() || code.get<int64_t>() == 0 || !size.is_number_unsigned())
    return {};
  std::error_code error;
  const uint64_t file_size = std::filesystem::file_size(image, error);
  if (error || file_size != size.get<uint64_t>()) return {};
  const bool raw = report["image"].value("kind", "") == "raw";
  const uint64_t header = raw ? 0 : image_header_size;
  const nlohmann::json& geometry = report["medium"]["geometry"]["bytes_per_sector"];
  const uint64_t sector = geometry.is_number_unsigned() ? geometry.get<uint64_t>() : 512;
  if (sector == 0 || sector > 65536 || file_size < header + sector) return {};
  return map_of_partial_image(file_size - header, sector);
}

RescuePlan plan_rescue(const DiskRescueRequest& request) {
  const std::string& image = request.image;
  rescue::RescueRequest names;
  names.job.image = image;
  names.map = request.map;
  const std::string map_path = rescue::map_path_of(names);
  const std::string report_path = report_path_of(image);

  // Two outputs that are one file, by whatever spelling or link, would
  // overwrite each other.
  std::vector<std::pair<std::string_view, const std::string*>> outputs{{"image", &image},
                                                                       {"map", &map_path}};
  if (request.report) outputs.emplace_back("report", &report_path);
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    for (std::size_t j = i + 1; j < outputs.size(); ++j) {
      const auto& [first, first_path] = outputs[i];
      const auto& [second, second_path] = outputs[j];
      if (platform::same_file(*first_path, *second_path))
        return refuse(std::string(second) + " " + *second_path + " is the " + std::string(first) +
                      " " + *first_path + " itself; give each a name of its own");
    }
  }
  if (request.afresh) {
    for (const std::string* path : {&image, &map_path, &report_path}) {
      if (exists(*path) && platform::current().remove_file(path->c_str()) != platform::Error::none)
        return refuse(*path + " cannot be removed to start afresh");
    }
  }
  // An image goes on only with its map, or with what tells that a plain read
  // left it incomplete; else starting afresh would empty it.
  RescuePlan plan;
  plan.map_path = map_path;
  plan.report_path = report_path;
  plan.resumed = exists(image);
  // A map beside the image a read has just made is older than it: it is
  // replaced.
  if (plan.resumed && (request.after_failed_read || !exists(map_path))) {
    const std::optional<std::string> map = map_of_read_image(request);
    if (!map)
      return refuse(image + " already exists, but its map " + map_path +
                    " does not; name its map with --map, or give --force to start afresh");
    if (platform::current().replace_file(map_path.c_str(), *map, request.after_failed_read) !=
        platform::Error::none)
      return refuse(map_path, outcome::map_not_written);
  }
  // A report follows its image from pass to pass; a stray one beside a new
  // image is the user's.
  if (!plan.resumed && request.report && exists(report_path))
    return refuse(report_path + " already exists; remove it or give --no-report");
  // An image goes on as the kind it is; a new one is the kind its name says.
  const ImageFacts held = plan.resumed ? look_at_image(image) : ImageFacts{};
  if (request.raw)
    plan.raw = *request.raw;
  else
    plan.raw = plan.resumed ? held.kind != ImageKind::tessil : raw_image_name(image);
  // An image keeps the label it was made with.
  plan.label = request.label;
  if (plan.resumed && !plan.raw && held.code == JOB_OK && held.kind == ImageKind::tessil) {
    plan.label = held.header.label;
    if (!request.label.empty() && request.label != plan.label)
      return refuse(image + " holds the label \"" + plan.label +
                    "\", which a rescue that goes on keeps; give that --label, or none");
  }
  return plan;
}

}  // namespace tessil::app
