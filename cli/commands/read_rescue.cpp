#include "commands/read_rescue.h"

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <utility>
#include <vector>

#include "cancel_signals.h"
#include "describe.h"
#include "exit_status.h"
#include "image_format.h"
#include "json_output.h"
#include "outcomes.h"
#include "progress_display.h"
#include "read_report.h"
#include "rescue/fat_damage.h"
#include "rescue/rescue_report.h"
#include "rescue_progress.h"

namespace tessil::cli {

namespace {

using rescue::SectorState;

struct Report {
  const rescue::RescueOutcome& out;
  const rescue::FatDamage& fat;
  uint64_t sector = 512;
  std::string drive;
  std::string image;
};

std::string chs_text(const DriveInfo& info, uint64_t sector) {
  const rescue::Chs chs = rescue::chs_of(info, sector);
  return std::to_string(chs.cylinder) + "/" + std::to_string(chs.head) + "/" +
         std::to_string(chs.sector);
}

void print_text(const Report& report) {
  const rescue::RescueOutcome& out = report.out;
  const rescue::SectorCounts counts = rescue::count_sectors(out.map, report.sector);
  std::printf("%s %s into %s: %" PRIu64 " of %" PRIu64 " sectors rescued, %" PRIu64 " bad, %" PRIu64
              " not tried\n",
              out.job.code == JOB_CANCELLED ? "Stopped:" : "Done:", report.drive.c_str(),
              report.image.c_str(), counts.good, out.map.size() / report.sector, counts.bad,
              counts.untried);
  const std::vector<uint64_t> bad = rescue::sectors_in(out.map, report.sector, SectorState::bad);
  if (!bad.empty()) {
    std::string line = "Bad sectors (cylinder/head/sector):";
    for (const uint64_t sector : bad)
      line += " " + std::to_string(sector) + " (" + chs_text(out.drive, sector) + ")";
    std::printf("%s\n", line.c_str());
  }
  if (!out.map.complete()) {
    std::fputs(rescue::track_picture(out.map, out.drive).c_str(), stdout);
    const rescue::FatDamage& fat = report.fat;
    if (fat.examined) {
      std::printf("%s volume: boot sector %s, FAT %s, root directory %s\n", fat.type.c_str(),
                  fat.boot_sector ? "HIT" : "intact", fat.fat ? "HIT" : "intact",
                  fat.root_directory ? "HIT" : "intact");
      if (fat.files_through_second_fat)
        std::printf("Files followed through the second FAT, the first being hit.\n");
      if (fat.files.empty()) std::printf("No file's data lie on the missing sectors.\n");
      for (const std::string& file : fat.files) std::printf("Damaged: %s\n", file.c_str());
    } else if (!fat.problem.empty()) {
      std::printf("Files not named: %s\n", fat.problem.c_str());
    }
  }
  std::printf("Map: %s\n", out.map_path.c_str());
  if (!out.map.complete())
    std::printf(
        "The same command again (after cleaning the disk, or in another drive) tries "
        "only the missing sectors.\n");
}

Json sectors_json(const Report& report, SectorState state) {
  Json sectors = Json::array();
  for (const uint64_t sector : rescue::sectors_in(report.out.map, report.sector, state)) {
    const rescue::Chs chs = rescue::chs_of(report.out.drive, sector);
    sectors.push_back(Json{{"sector", sector},
                           {"cylinder", chs.cylinder},
                           {"head", chs.head},
                           {"sector_on_track", chs.sector}});
  }
  return sectors;
}

Json report_json(const Report& report, int status) {
  const rescue::RescueOutcome& out = report.out;
  const rescue::SectorCounts counts = rescue::count_sectors(out.map, report.sector);
  Json json{{"drive", report.drive},
            {"image", report.image},
            {"map", out.map_path},
            {"result", out.job.code},
            {"result_text", result_text(out.job.code)},
            {"exit_status", status},
            {"resumed", out.resumed},
            {"complete", out.map.complete()},
            {"geometry", Json{{"cylinders", out.drive.cylinders},
                              {"heads", out.drive.tracks_per_cylinder},
                              {"sectors_per_track", out.drive.sectors_per_track},
                              {"bytes_per_sector", out.drive.bytes_per_sector}}},
            {"sectors", Json{{"total", out.map.size() / report.sector},
                             {"rescued", counts.good},
                             {"bad", counts.bad},
                             {"not_tried", counts.untried}}},
            {"bad_sectors", sectors_json(report, SectorState::bad)},
            {"not_tried_sectors", sectors_json(report, SectorState::untried)}};
  const rescue::FatDamage& fat = report.fat;
  if (fat.examined) {
    json["fat"] = Json{{"type", fat.type},
                       {"boot_sector_hit", fat.boot_sector},
                       {"fat_hit", fat.fat},
                       {"root_directory_hit", fat.root_directory},
                       {"files_through_second_fat", fat.files_through_second_fat},
                       {"damaged_files", fat.files}};
  } else if (!fat.problem.empty()) {
    json["fat"] = Json{{"problem", fat.problem}};
  }
  return json;
}

}  // namespace

void add_rescue_options(CLI::App& read, RescueOptions& options) {
  CLI::Option* rescue =
      read.add_flag("--rescue", options.rescue,
                    "Read every sector that can still be read and keep a GNU ddrescue mapfile; "
                    "again with the same map, read only what is missing");
  read.add_option("--retries", options.retries,
                  "Rescue: passes over the sectors still bad (0 to 1000, default 2)")
      ->type_name("N")
      ->check(CLI::Range(0, 1000).description(""))
      ->needs(rescue);
  read.add_option("--fill", options.fill,
                  "Rescue: what an unreadable sector holds in the image: zero (the default) or "
                  "marker, a text no real sector holds")
      ->type_name("zero|marker")
      ->check(CLI::IsMember({"zero", "marker"}).description(""))
      ->needs(rescue);
  read.add_option("--map", options.map, "Rescue: the mapfile (IMAGE.map by default)")
      ->type_name("FILE")
      ->needs(rescue);
}

rescue::RescueOutcome rescue_disk(char letter, const std::string& image, const std::string& label,
                                  const RescueOptions& options, bool progress, ReadReport* report,
                                  platform::DriveSession* session) {
  rescue::RescueRequest request;
  request.job.drive = std::string(1, letter);
  request.job.session = session;
  request.job.image = image;
  request.job.label = label;
  request.map = options.map;
  request.retries = options.retries;
  request.fill = options.fill == "marker" ? rescue::Fill::marker : rescue::Fill::zero;
  request.command_line = "tessil-cli read " + request.job.drive + " " + image + " --rescue";
  rescue::RescueOutcome out;
  CancelSignals signals;
  RescueProgress display(ProgressDisplay::style_for_stderr(progress));
  out = rescue::run_rescue_job(request, display);
  display.finish(out.map);
  if (report) {
    const uint64_t sector = uint64_t(std::max(out.drive.bytes_per_sector, 1));
    report->bad_sectors = rescue::sectors_in(out.map, sector, SectorState::bad);
    report->retries = display.retry_passes();
  }
  return out;
}

int32_t rescue_result(const rescue::RescueOutcome& out) {
  if (out.job.code == JOB_OK && !out.map.complete()) return outcome::sectors_missing;
  return out.job.code;
}

int read_rescue(char letter, const std::string& image, const std::string& label,
                const RescueOptions& options, bool progress, bool json, bool no_report) {
  rescue::RescueRequest names;
  names.job.image = image;
  names.map = options.map;
  const std::string map_path = rescue::map_path_of(names);
  const std::string report_path = report_path_of(image);

  // Two outputs that are one file, by whatever spelling or link, would
  // overwrite each other.
  std::vector<std::pair<std::string_view, const std::string*>> outputs{{"image", &image},
                                                                       {"map", &map_path}};
  if (!no_report) outputs.emplace_back("report", &report_path);
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    for (std::size_t j = i + 1; j < outputs.size(); ++j) {
      const auto& [first, first_path] = outputs[i];
      const auto& [second, second_path] = outputs[j];
      if (platform::same_file(*first_path, *second_path))
        return refuse(std::string(second) + " " + *second_path + " is the " + std::string(first) +
                      " " + *first_path + " itself; give each a name of its own");
    }
  }

  // An image goes on only with its map; without one, starting afresh would
  // empty it.
  std::error_code error;
  const bool resumed = std::filesystem::exists(std::filesystem::symlink_status(image, error));
  if (resumed && !std::filesystem::exists(std::filesystem::symlink_status(map_path, error)))
    return refuse(image + " already exists, but its map " + map_path +
                  " does not; name its map with --map, or remove it to start again");
  // A report follows its image from pass to pass; a stray one beside a new
  // image is the user's.
  if (!resumed && !no_report &&
      std::filesystem::exists(std::filesystem::symlink_status(report_path, error)))
    return refuse(report_path + " already exists; remove it or give --no-report");

  const std::string device_path = device_path_of(std::string(1, letter).c_str());
  const std::string drive = drive_text(letter, platform::current().device_of(device_path));
  // The report's look at the drive and the rescue share one opening of it.
  const std::unique_ptr<platform::DriveSession> held =
      platform::current().hold_drive(device_path, platform::DriveAccess::read);
  std::optional<ReadReport> read_report;
  if (!no_report)
    read_report = begin_report(look_at_drive(letter, held.get()), image, label, false);
  const rescue::RescueOutcome out = rescue_disk(letter, image, label, options, progress,
                                                read_report ? &*read_report : nullptr, held.get());
  const int32_t code = out.job.code;
  // A failure, or a stop before the image was in place, leaves nothing to
  // report on.
  if ((code != JOB_OK && code != JOB_CANCELLED) || !out.in_place) {
    const bool map_failed = code == outcome::map_unusable || code == outcome::map_not_written;
    const int status = report_job_failure(
        code, out.job.reason, drive,
        map_failed ? out.map_path : (out.failed_file.empty() ? image : out.failed_file));
    if (!out.problem.empty()) std::fprintf(stderr, "tessil-cli: %s\n", out.problem.c_str());
    return status;
  }

  const uint64_t sector = uint64_t(std::max(out.drive.bytes_per_sector, 1));
  rescue::FatDamage fat;
  if (!out.map.complete()) {
    std::vector<uint64_t> missing = rescue::sectors_in(out.map, sector, SectorState::bad);
    const std::vector<uint64_t> untried = rescue::sectors_in(out.map, sector, SectorState::untried);
    missing.insert(missing.end(), untried.begin(), untried.end());
    fat = rescue::fat_damage(image, image_header_size, sector, missing);
  }
  int status = out.map.complete() ? exit_ok : exit_sectors_missing;
  if (code == JOB_CANCELLED) status = static_cast<int>(code);
  const Report report{out, fat, sector, drive, image};
  if (json) {
    print_json(report_json(report, status));
  } else {
    print_text(report);
  }
  if (code == JOB_CANCELLED) {
    report_job_failure(code, out.job.reason, drive, image);
    std::fprintf(stderr, "tessil-cli: %s and its map agree; the same command goes on\n",
                 image.c_str());
  }
  // Only a rescue that ran is reported: then the image and its map agree.
  if (read_report) status = file_report(*read_report, rescue_result(out), true, status);
  return status;
}

}  // namespace tessil::cli
