// tessil-cli read DRIVE IMAGE [--label TEXT] [--raw|--tessil] [--force]
// [--no-report] [--progress] [--json]: the whole disk into a new image file,
// raw or tessil as its name says (image_kind.h), with the
// checksums of its data and its report. With --rescue (read_rescue.cpp) it
// gets what can still be read from a damaged disk instead.
#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/drive_facts.h"
#include "app/job_runner.h"
#include "app/read_report.h"
#include "command.h"
#include "commands/read_rescue.h"
#include "describe.h"
#include "exit_status.h"
#include "image_kind.h"
#include "jobs.h"
#include "json_output.h"
#include "new_image.h"
#include "progress_display.h"
#include "read_to_rescue.h"
#include "report_filing.h"
#include "text_output.h"
#include "whole_sectors.h"

namespace tessil::cli {

namespace {

struct ReadOptions {
  std::string drive;
  std::string image;
  std::string label;
  bool force = false;
  bool no_report = false;
  bool progress = false;
  KindFlags kind;
  bool json = false;
  RescueOptions rescue;
};

// The job ended after it had made the image file, which a report describes.
bool made_image(int32_t code) {
  return code != JOB_NO_MEDIA && code != JOB_IMAGE_CREATE_FAILED;
}

int read_disk(const ReadOptions& options) {
  const char letter = *app::drive_letter(options.drive);
  if (const int refused = refuse_partial_sectors(letter); refused != exit_ok) return refused;
  if (options.rescue.rescue) {
    RescueOptions rescue = options.rescue;
    rescue.kind = options.kind;
    rescue.afresh = options.force;
    return read_rescue(letter, options.image, options.label, rescue, options.progress, options.json,
                       options.no_report);
  }
  const bool raw = new_image_is_raw(options.image, options.kind);
  if (const std::optional<std::string> refusal =
          raw_label_refusal(options.image, raw, options.kind, options.label))
    return refuse(*refusal);
  NewImage image;
  if (const std::optional<std::string> refusal =
          prepare_new_image(options.image, letter, options.force, image))
    return refuse(*refusal);
  const std::string report_path = app::report_path_of(options.image);
  std::error_code error;
  const bool old_report =
      std::filesystem::exists(std::filesystem::symlink_status(report_path, error));
  // Beside a new image, even one read without a report, an old report
  // would describe another disk.
  if (!options.force && old_report)
    return refuse(report_path + " already exists; give --force to replace it with the image");
  if (platform::same_file(options.image, report_path))
    return refuse(options.image + " and its report " + report_path + " are the same file");

  JobRequest request{std::string(1, letter), image.temporary, options.label};
  request.raw_image = raw;
  request.checksums = true;
  request.new_image_only = !image.in_place;
  const std::string drive = drive_text(letter, app::device_of(letter));
  // The report's look at the drive and the job share one opening of it.
  const std::unique_ptr<platform::DriveSession> held =
      app::hold_drive(letter, platform::DriveAccess::read);
  request.session = held.get();
  app::ReadReport report;
  if (!options.no_report)
    report = app::begin_report(app::look_at_drive(letter, held.get()), options.image, options.label,
                               raw);
  ProgressDisplay display(ProgressDisplay::style_for_stderr(options.progress));
  const app::JobRun run = app::run_job(run_read_job, request, display);
  const int32_t code = run.outcome.code;
  // What a failed read got stays only with a report that says so; alone it
  // would pass for the whole disk.
  const bool reported = !options.no_report && made_image(code);
  const bool keep = code == JOB_OK || reported;
  if (made_image(code)) {
    if (const platform::Error settled = settle_new_image(image, keep, options.force);
        settled != platform::Error::none)
      return report_failure(JOB_HEADER_WRITE_FAILED, options.image, settled);
  }
  // The old image's report goes with it.
  if (keep && options.no_report && old_report &&
      platform::current().remove_file(report_path.c_str()) == platform::Error::none)
    std::fprintf(stderr, "tessil-cli: removed the old report %s with the old image\n",
                 report_path.c_str());
  if (reported) report.streamed = app::streamed_digests(run.outcome.checksums);
  if (code != JOB_OK) {
    const int status = report_job_failure(code, run.outcome.reason, drive, options.image);
    if (code == JOB_SHORT_READ) tell_where_read_failed(letter, held.get(), run.done, options.image);
    if (reported)
      std::fprintf(stderr, "tessil-cli: %s is incomplete, as its report %s says\n",
                   options.image.c_str(), report_path.c_str());
    else if (made_image(code))
      std::fprintf(stderr, "tessil-cli: %s was not made\n", options.image.c_str());
    return reported ? file_report(report, code, true, status) : status;
  }
  if (reported) {
    if (const int status = file_report(report, code, true, exit_ok); status != exit_ok)
      return status;
  }
  const Checksums& sums = run.outcome.checksums;
  if (options.json) {
    print_json(app::Json{{"code", JOB_OK},
                         {"drive", std::string(1, letter)},
                         {"image", options.image},
                         {"kind", raw ? "raw" : "tessil"},
                         {"size", run.done},
                         {"seconds", run.seconds},
                         {"sha256", sums.sha256},
                         {"md5", sums.md5}});
    return exit_ok;
  }
  std::printf("Done: %s read into %s, %llu bytes in %.1f s\n", printable(drive).c_str(),
              printable(options.image).c_str(), static_cast<unsigned long long>(run.done),
              run.seconds);
  print_checksums(sums);
  return exit_ok;
}

}  // namespace

Command add_read_command(CLI::App& program) {
  auto options = std::make_shared<ReadOptions>();
  CLI::App* parser =
      program.add_subcommand("read", "Copy the whole disk in DRIVE into a new image file");
  add_drive_argument(*parser, options->drive);
  parser
      ->add_option("IMAGE", options->image,
                   "The image file to make: a raw image when named *.img, *.ima, *.vfd or *.flp, "
                   "else a tessil image (conventionally *.tsl)")
      ->type_name("")
      ->required();
  add_label_option(*parser, options->label, "A label stored in the image");
  add_kind_flags(*parser, options->kind, "Make");
  parser->add_flag("-f,--force", options->force,
                   "Replace IMAGE if it exists, and its report IMAGE.json; with --rescue, start "
                   "the rescue afresh, its map replaced too");
  parser->add_flag("--no-report", options->no_report, "Write no report IMAGE.json beside IMAGE");
  add_progress_flag(*parser, options->progress);
  add_json_flag(*parser, options->json);
  add_rescue_options(*parser, options->rescue);
  return {parser, [options] { return read_disk(*options); }};
}

}  // namespace tessil::cli
