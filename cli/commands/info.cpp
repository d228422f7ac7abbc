// tessil-cli info DRIVE|FILE [--json]: one drive and its disk, or one image
// file.
#include <memory>

#include "app/drive_facts.h"
#include "app/image_facts.h"
#include "command.h"
#include "describe.h"
#include "exit_status.h"
#include "image_kind.h"
#include "json_output.h"
#include "text_output.h"

namespace tessil::cli {

namespace {

struct InfoOptions {
  std::string target;
  bool json = false;
};

int show_drive(char letter, bool json) {
  const app::DriveFacts drive = app::look_at_drive(letter);
  // A letter that stands for nothing fails like a job on it would.
  if (drive.device.empty())
    return report_failure(JOB_NO_MEDIA, drive_text(letter, ""), drive.reason);
  if (json) {
    print_json(app::drive_json(drive));
  } else {
    print_drive(drive);
  }
  if (platform::not_authorised(drive.reason))
    report_refusal(drive_text(letter, drive.device), drive.reason);
  return exit_ok;
}

int show_image(const std::string& path, bool json) {
  const app::ImageFacts image = app::look_at_image(path, true);
  if (image.code != 0) return report_failure(image.code, path, image.reason);
  // A raw name makes a file of no standard size a short raw image.
  const bool short_raw = image.kind == ImageKind::neither && raw_by_name(path) &&
                         !tessil_by_name(path) && image.file_size > 0 &&
                         image.file_size < standard_formats.back().size;
  if (image.kind == ImageKind::neither && (!short_raw || json))
    return refuse(path + app::neither_kind_words);
  if (json) {
    print_json(app::image_json(image));
  } else {
    print_image(image);
  }
  return exit_ok;
}

}  // namespace

Command add_info_command(CLI::App& program) {
  auto options = std::make_shared<InfoOptions>();
  CLI::App* parser =
      program.add_subcommand("info", "Show one drive and its disk, or an image file");
  parser
      ->add_option("TARGET", options->target,
                   "A drive letter (A, b:, ...) or an image file (name a file called 'a' as ./a)")
      ->type_name("")
      ->required();
  add_json_flag(*parser, options->json);
  return {parser, [options] {
            if (const std::optional<char> letter = app::drive_letter(options->target))
              return show_drive(*letter, options->json);
            return show_image(options->target, options->json);
          }};
}

}  // namespace tessil::cli
