#include "commands/read_rescue.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <utility>
#include <vector>

#include "app/cancel_signals.h"
#include "app/file_digest.h"
#include "app/image_facts.h"
#include "app/read_report.h"
#include "describe.h"
#include "exit_status.h"
#include "image_format.h"
#include "json_output.h"
#include "outcomes.h"
#include "progress_display.h"
#include "read_to_rescue.h"
#include "report_filing.h"
#include "rescue/fat_damage.h"
#include "rescue/rescue_report.h"
#include "rescue_progress.h"
#include "rescue_summary.h"

namespace tessil::cli {

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
  read.add_flag("--picture", options.picture,
                "Rescue: picture every sector at the end, not one character per track")
      ->needs(rescue);
}

rescue::RescueOutcome rescue_disk(char letter, const std::string& image, const std::string& label,
                                  const RescueOptions& options, bool progress,
                                  app::ReadReport* report, platform::DriveSession* session) {
  rescue::RescueRequest request;
  request.job.drive = std::string(1, letter);
  request.job.session = session;
  request.job.image = image;
  request.job.label = label;
  request.job.raw_image = options.raw;
  request.map = options.map;
  request.retries = options.retries;
  request.fill = options.fill == "marker" ? rescue::Fill::marker : rescue::Fill::zero;
  request.command_line = "tessil-cli read " + request.job.drive + " " + image + " --rescue";
  if (options.raw != raw_by_name(image))
    request.command_line += options.raw ? " --raw" : " --tessil";
  rescue::RescueOutcome out;
  app::CancelSignals signals;
  RescueProgress display(ProgressDisplay::style_for_stderr(progress), options.retries);
  out = rescue::run_rescue_job(request, display);
  display.finish(out.map);
  if (report) {
    const uint64_t sector = uint64_t(std::max(out.drive.bytes_per_sector, 1));
    report->bad_sectors = rescue::sectors_in(out.map, sector, rescue::SectorState::bad);
    report->retries = display.retry_passes();
  }
  return out;
}

int32_t rescue_result(const rescue::RescueOutcome& out) {
  if (out.job.code == JOB_OK && !out.map.complete()) return outcome::sectors_missing;
  return out.job.code;
}

int report_rescue_failure(const rescue::RescueOutcome& out, const std::string& drive,
                          const std::string& image) {
  // A failure of the map is said of the map, with what is wrong with it.
  if (!out.failed_file.empty() && !out.problem.empty())
    return report_failure(out.job.code, out.failed_file + ": " + out.problem);
  const int status = report_job_failure(out.job.code, out.job.reason, drive,
                                        out.failed_file.empty() ? image : out.failed_file);
  if (!out.problem.empty())
    std::fprintf(stderr, "tessil-cli: %s\n", printable(out.problem).c_str());
  return status;
}

int read_rescue(char letter, const std::string& image, const std::string& label,
                const RescueOptions& options, bool progress, bool json, bool no_report) {
  rescue::RescueRequest names;
  names.job.image = image;
  names.map = options.map;
  const std::string map_path = rescue::map_path_of(names);
  const std::string report_path = app::report_path_of(image);

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

  const auto exists = [](const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
  };
  if (options.afresh) {
    for (const std::string* path : {&image, &map_path, &report_path}) {
      if (exists(*path) && platform::current().remove_file(path->c_str()) != platform::Error::none)
        return refuse(*path + " cannot be removed to start afresh");
    }
  }
  // An image goes on only with its map, or with the report of the plain
  // read that left it incomplete; else starting afresh would empty it.
  const bool resumed = exists(image);
  if (resumed && !exists(map_path)) {
    const std::optional<std::string> map = map_of_failed_read(image);
    if (!map)
      return refuse(image + " already exists, but its map " + map_path +
                    " does not; name its map with --map, or give --force to start afresh");
    if (platform::current().replace_file(map_path.c_str(), *map, false) != platform::Error::none)
      return report_failure(outcome::map_not_written, map_path);
  }
  // A report follows its image from pass to pass; a stray one beside a new
  // image is the user's.
  if (!resumed && !no_report && exists(report_path))
    return refuse(report_path + " already exists; remove it or give --no-report");
  // An image goes on as the kind it is; a new one is the kind its name says.
  RescueOptions chosen = options;
  if (options.kind.raw || options.kind.tessil)
    chosen.raw = options.kind.raw;
  else
    chosen.raw = resumed ? app::look_at_image(image).kind != ImageKind::tessil : raw_by_name(image);
  if (const std::optional<std::string> refusal =
          raw_label_refusal(image, chosen.raw, options.kind, label))
    return refuse(*refusal);
  // An image keeps the label it was made with.
  std::string kept_label = label;
  if (resumed && !chosen.raw) {
    const app::ImageFacts held = app::look_at_image(image);
    if (held.code == JOB_OK && held.kind == ImageKind::tessil) {
      kept_label = held.header.label;
      if (!label.empty() && label != kept_label)
        return refuse(image + " holds the label \"" + kept_label +
                      "\", which a rescue that goes on keeps; give that --label, or none");
    }
  }

  const std::string drive = drive_text(letter, app::device_of(letter));
  // The report's look at the drive and the rescue share one opening of it.
  const std::unique_ptr<platform::DriveSession> held =
      app::hold_drive(letter, platform::DriveAccess::read);
  std::optional<app::ReadReport> read_report;
  if (!no_report)
    read_report =
        app::begin_report(app::look_at_drive(letter, held.get()), image, kept_label, chosen.raw);
  const auto began = std::chrono::steady_clock::now();
  const rescue::RescueOutcome out = rescue_disk(letter, image, kept_label, chosen, progress,
                                                read_report ? &*read_report : nullptr, held.get());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  const int32_t code = out.job.code;
  // A failure, or a stop before the image was in place, leaves nothing to
  // report on.
  if ((code != JOB_OK && code != JOB_CANCELLED) || !out.in_place)
    return report_rescue_failure(out, drive, image);

  const uint64_t sector = uint64_t(std::max(out.drive.bytes_per_sector, 1));
  const uint64_t offset = chosen.raw ? 0 : image_header_size;
  rescue::FatDamage fat;
  if (!out.map.complete())
    fat = rescue::fat_damage(image, offset, sector, [&out, sector](uint64_t at) {
      return out.map.status_at(at * sector) != rescue::Status::rescued;
    });
  // One result in every output: what the report records.
  const int32_t result = rescue_result(out);
  // A stopped run ends at once; its image is not the result yet.
  const std::optional<app::FileDigests> digests =
      code == JOB_OK ? app::digest_file(image, offset) : std::nullopt;
  const RescueSummary summary{out,
                              fat,
                              letter,
                              drive,
                              image,
                              result,
                              seconds,
                              digests ? digests->data : Checksums{},
                              options.picture};
  if (json)
    print_json(rescue_json(summary));
  else
    print_rescue_text(summary);
  std::fflush(stdout);
  int status = exit_status_of(result);
  if (code == JOB_CANCELLED) {
    report_job_failure(code, out.job.reason, drive, image);
    std::fprintf(stderr, "tessil-cli: %s and its map agree; the same command goes on\n",
                 printable(image).c_str());
  }
  // Only a rescue that ran is reported: then the image and its map agree.
  if (read_report) {
    read_report->label = out.label;
    status = file_report(*read_report, result, true, status);
  }
  return status;
}

}  // namespace tessil::cli
