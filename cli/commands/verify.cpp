// tessil-cli verify IMAGE DRIVE [--progress] [--json]: the disk in a drive
// read back from the medium and compared with an image file, sector by
// sector, without writing anything.
#include <memory>

#include "app/drive_facts.h"
#include "app/image_facts.h"
#include "command.h"
#include "describe.h"
#include "exit_status.h"
#include "image_kind.h"
#include "json_output.h"
#include "verify_report.h"

namespace tessil::cli {

namespace {

struct VerifyOptions {
  std::string image;
  std::string drive;
  bool progress = false;
  bool json = false;
};

int verify_disk(const VerifyOptions& options) {
  const char letter = *app::drive_letter(options.drive);
  const app::ImageFacts image = app::look_at_image(options.image);
  if (image.code != JOB_OK) return report_failure(image.code, options.image, image.reason);
  JobRequest request{std::string(1, letter), options.image, ""};
  // A short raw image by its name is compared as written: zeros after it.
  request.pad_raw = image.kind == ImageKind::neither && image.file_size > 0 &&
                    raw_by_name(options.image) && !tessil_by_name(options.image);
  request.raw_image = image.raw() || request.pad_raw;
  request.checksums = true;
  const std::string drive = drive_text(letter, app::device_of(letter));
  const std::unique_ptr<platform::DriveSession> held =
      app::hold_drive(letter, platform::DriveAccess::read);
  request.session = held.get();
  const VerifyRun run = run_verify(request, options.progress);
  const int32_t code = run.outcome.outcome.code;
  // A verify that could not compare has no document to show, only why.
  if (!options.json || (code != JOB_OK && code != outcome::verify_failed))
    return report_verify(run, drive, options.image);
  app::Json document = verify_json(run);
  document["image"] = options.image;
  document["drive"] = std::string(1, letter);
  print_json(document);
  return code == JOB_OK ? exit_ok : exit_differs;
}

}  // namespace

Command add_verify_command(CLI::App& program) {
  auto options = std::make_shared<VerifyOptions>();
  CLI::App* parser = program.add_subcommand(
      "verify", "Compare the disk in DRIVE with an image file, reading the disk itself");
  parser->add_option("IMAGE", options->image, "The image file to compare with (tessil or raw)")
      ->type_name("")
      ->required();
  add_drive_argument(*parser, options->drive);
  add_progress_flag(*parser, options->progress);
  add_json_flag(*parser, options->json);
  return {parser, [options] { return verify_disk(*options); }};
}

}  // namespace tessil::cli
