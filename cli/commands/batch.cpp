// tessil-cli batch DRIVE PATTERN [--start N] [--count N] [--label TEXT]
// [--label-from-volume] [--raw|--tessil] [--rescue [--retries N] [--fill zero|marker]]
// [--no-report] [--skip-duplicates] [--progress]: one disk after another
// from the same drive into numbered image files, each with its report, and
// a line per disk in the folder's log.csv.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "app/cancel_signals.h"
#include "app/drive_facts.h"
#include "app/job_runner.h"
#include "app/read_report.h"
#include "batch_disk.h"
#include "batch_log.h"
#include "batch_names.h"
#include "batch_watch.h"
#include "command.h"
#include "commands/read_rescue.h"
#include "describe.h"
#include "disk_head.h"
#include "exit_status.h"
#include "image_kind.h"
#include "jobs.h"
#include "outcomes.h"
#include "report_filing.h"
#include "whole_sectors.h"

namespace tessil::cli {

namespace {

namespace fs = std::filesystem;

struct BatchOptions {
  std::string drive;
  std::string pattern;
  long long start = 1;
  long long count = 0;  // 0: until Ctrl-C
  std::string label;
  bool label_from_volume = false;
  KindFlags kind;
  RescueOptions rescue;  // its map is always IMAGE.map
  bool no_report = false;
  bool progress = false;
  bool skip_duplicates = false;
};

bool taken(const fs::path& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

int run_batch(const BatchOptions& options) {
  const char letter = *app::drive_letter(options.drive);
  std::string problem;
  const std::optional<NamePattern> pattern = parse_pattern(options.pattern, problem);
  if (!pattern) return refuse(problem);
  // The pattern's own extension says the kind, as a read's image name does.
  const bool raw = new_image_is_raw(pattern->after, options.kind);
  if (const std::optional<std::string> refusal =
          raw_label_refusal(options.pattern, raw, options.kind, options.label))
    return refuse(*refusal);
  RescueOptions rescue = options.rescue;
  rescue.raw = raw;
  if (app::device_of(letter).empty())
    return report_failure(JOB_NO_MEDIA, drive_text(letter, ""), platform::Error::not_found);
  if (const int refused = refuse_partial_sectors(letter); refused != exit_ok) return refused;

  const bool named = raw ? raw_by_name(pattern->after) : tessil_by_name(pattern->after);
  const std::string extension = named ? "" : raw ? ".img" : ".tsl";
  fs::path folder = fs::path(pattern->name(options.start)).parent_path();
  std::error_code error;
  if (!folder.empty()) fs::create_directories(folder, error);
  if (error)
    return report_failure(JOB_IMAGE_CREATE_FAILED, folder.string(), platform::Error::other);
  BatchLog log((folder.empty() ? fs::path(".") : folder) / "log.csv");

  // One handler for the whole batch: Ctrl-C while waiting ends it, and
  // during a read cancels that read and then ends it.
  app::CancelSignals signals;
  DiskWatch watch(letter);
  long long number = options.start;
  long long read_count = 0, failed = 0, duplicates = 0;
  // Disks with the same data as one the log lists already are said so.
  std::map<std::string, std::string> images = log.images_by_digest();
  int status = exit_ok;
  while (options.count == 0 || read_count < options.count) {
    std::optional<DiskWatch::Found> found = watch.next();
    if (!found) break;
    auto& [drive, identity, held] = *found;

    std::string label = options.label;
    if (options.label_from_volume) {
      const std::string volume =
          fat_volume_label(read_disk_head(letter, label_head_length, nullptr, held.get())
                               .value_or(std::vector<std::byte>{}));
      if (!volume.empty()) label = volume;
    }
    platform::Error reason = platform::Error::none;
    const std::optional<std::string> image = claim_name(*pattern, extension, number, reason);
    if (!image) {
      status = report_failure(JOB_IMAGE_CREATE_FAILED, pattern->name(number) + extension, reason);
      break;
    }

    // Ctrl-C between finding the disk and starting its read ends the batch
    // before anything is made of it.
    if (app::CancelSignals::requested()) {
      fs::remove(*image, error);
      break;
    }

    // A raw image has no header: a volume's label goes into the report only.
    app::ReadReport report = app::begin_report(drive, *image, label, raw);
    const DiskRead result =
        options.rescue.rescue
            ? rescue_one(letter, *image, label, rescue, options.progress, drive, report, held.get())
            : read_one(letter, *image, label, raw, options.progress, drive, report, held.get());
    const int32_t code = result.code;
    // Nothing was made but the claimed, empty name; a rescue's image is
    // never empty once it is in place.
    if ((code == JOB_NO_MEDIA || code == JOB_IMAGE_CREATE_FAILED || options.rescue.rescue) &&
        fs::file_size(*image, error) == 0)
      fs::remove(*image, error);
    if (code == JOB_NO_MEDIA) continue;  // gone before the read began
    watch.read(std::move(identity));
    int disk_status = result.status;
    if (!options.no_report && taken(*image)) {
      disk_status = file_report(report, result.recorded, false, disk_status);
    } else if (const int32_t recorded = end_and_tell(report, result.recorded);
               recorded != result.recorded) {
      disk_status = recorded;
    }
    std::string same_as;
    bool kept = taken(*image);
    if (const std::string sum = app::data_sha256(report); !sum.empty() && report.code == JOB_OK) {
      if (const auto earlier = images.find(sum); earlier != images.end()) {
        same_as = fs::path(earlier->second).stem().string();
        ++duplicates;
        if (options.skip_duplicates) {
          for (const std::string& path : {*image, app::report_path_of(*image), *image + ".map"})
            fs::remove(path, error);
          kept = false;
        }
      } else {
        images.emplace(sum, *image);
      }
    }
    if (report.code != JOB_OK) ++failed;
    if (!log.append(number, kept ? *image : "", report, same_as)) {
      disk_status = report_failure(outcome::log_not_written, log.path().string());
      if (status == exit_ok) status = disk_status;
      break;
    }

    // The report's code: a file that holds other data than were read fails.
    std::string line = std::to_string(number) + "  " + (kept ? *image : "(not kept)") + "  " +
                       std::string(result_text(report.code));
    if (!label.empty()) line += "  \"" + label + "\"";
    line += "  " + result.amount;
    if (report.bad_sectors && !report.bad_sectors->empty())
      line += ", " + std::to_string(report.bad_sectors->size()) + " bad sectors";
    if (const std::string sum = app::data_sha256(report); !sum.empty() && report.code == JOB_OK)
      line += "  SHA-256 " + sum;
    if (!same_as.empty()) line += "  same data as " + same_as;
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);

    if (status == exit_ok) status = disk_status;
    ++read_count;
    ++number;
    // A cancelled read, or an image that cannot be made, ends the batch.
    if (code == JOB_CANCELLED || code == JOB_IMAGE_CREATE_FAILED) break;
  }
  std::fprintf(stderr, "%lld %s read, %lld failed, %lld %s; log: %s\n", read_count,
               read_count == 1 ? "disk" : "disks", failed, duplicates,
               duplicates == 1 ? "duplicate" : "duplicates", log.path().c_str());
  return status;
}

}  // namespace

Command add_batch_command(CLI::App& program) {
  auto options = std::make_shared<BatchOptions>();
  CLI::App* parser = program.add_subcommand(
      "batch", "Read one disk after another from DRIVE into numbered image files");
  add_drive_argument(*parser, options->drive);
  parser
      ->add_option(
          "PATTERN", options->pattern,
          "The images' names with a counter, e.g. box3/disk-%03d; raw images when it ends in .img, "
          ".ima, .vfd or .flp (.tsl, or .img with --raw, is added otherwise)")
      ->type_name("")
      ->required();
  parser->add_option("--start", options->start, "The first number (default 1)")
      ->type_name("N")
      ->check(CLI::Range(0LL, 999999999LL));
  parser->add_option("--count", options->count, "Stop after N disks (default: until Ctrl-C)")
      ->type_name("N")
      ->check(CLI::Range(1LL, 999999999LL));
  add_label_option(*parser, options->label, "The label stored in every image");
  parser->add_flag("--label-from-volume", options->label_from_volume,
                   "Label each image with its disk's FAT volume label, when it has one");
  add_kind_flags(*parser, options->kind, "Make each");
  CLI::Option* rescue =
      parser->add_flag("--rescue", options->rescue.rescue,
                       "Rescue each disk: every sector that can be read, a map IMAGE.map beside");
  parser
      ->add_option("--retries", options->rescue.retries,
                   "Rescue: passes over the sectors still bad (0 to 1000, default 2)")
      ->type_name("N")
      ->check(CLI::Range(0, 1000).description(""))
      ->needs(rescue);
  parser
      ->add_option("--fill", options->rescue.fill,
                   "Rescue: what an unreadable sector holds: zero (the default) or marker")
      ->type_name("zero|marker")
      ->check(CLI::IsMember({"zero", "marker"}).description(""))
      ->needs(rescue);
  parser->add_flag("--no-report", options->no_report, "Write no report IMAGE.json beside images");
  parser->add_flag("--skip-duplicates", options->skip_duplicates,
                   "Keep no image of a disk whose data equal an earlier one's in log.csv");
  add_progress_flag(*parser, options->progress);
  return {parser, [options] { return run_batch(*options); }};
}

}  // namespace tessil::cli
