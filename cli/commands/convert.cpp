// tessil-cli convert INPUT OUTPUT [--label TEXT] [--raw|--tessil] [--force]:
// a tessil image into a raw image, or a raw image into a tessil image. The
// kind OUTPUT's name says must be the other; a name of neither kind's
// extension takes the other kind.
#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/format_names.h"
#include "app/image_facts.h"
#include "command.h"
#include "describe.h"
#include "exit_status.h"
#include "image_kind.h"
#include "raw_image.h"
#include "text_output.h"

namespace tessil::cli {

namespace {

struct ConvertOptions {
  std::string input;
  std::string output;
  std::optional<std::string> label;
  bool force = false;
  KindFlags kind;
  std::string format;  // of a short raw INPUT, by a name of the size table
};

// The format a short raw INPUT was cut from: its FAT boot sector's, else
// --format's; words for why there is none.
const StandardFormat* short_raw_format(const ConvertOptions& options, const app::ImageFacts& input,
                                       std::string& why) {
  const StandardFormat* named =
      options.format.empty() ? nullptr : app::format_named(options.format);
  if (!options.format.empty() && !named) {
    why = "--format " + options.format + " names no standard format; give one of " +
          app::format_names();
    return nullptr;
  }
  if (input.boot_format && named && named != input.boot_format) {
    why = options.input + " is a " + std::string(input.boot_format->name) +
          " disk image by its FAT boot sector, not " + std::string(named->name);
    return nullptr;
  }
  const StandardFormat* format = input.boot_format ? input.boot_format : named;
  if (!format) {
    why = options.input + " is a short raw image of " + grouped(input.file_size) +
          " bytes, and no FAT boot sector names its disk's format; give it with --format "
          "(1.44M, 720K, ...)";
  } else if (input.file_size >= format->size) {
    why = options.input + " holds " + grouped(input.file_size) + " bytes, more than a " +
          std::string(format->name) + " disk";
    return nullptr;
  }
  return format;
}

// The kind OUTPUT asks for, when its name or a flag says one.
std::optional<bool> raw_output(const ConvertOptions& options) {
  if (options.kind.raw || options.kind.tessil) return options.kind.raw;
  if (raw_by_name(options.output)) return true;
  if (tessil_by_name(options.output)) return false;
  return std::nullopt;
}

int convert(const ConvertOptions& options) {
  // Whatever the name stands for, even a dangling link, is the user's.
  std::error_code error;
  if (!options.force &&
      std::filesystem::exists(std::filesystem::symlink_status(options.output, error)))
    return refuse(options.output + " already exists; give --force to replace it");
  const app::ImageFacts input = app::look_at_image(options.input);
  if (input.code != JOB_OK) return report_failure(input.code, options.input, input.reason);
  if (!input.missing.empty() && !options.force)
    return refuse(options.input + " is incomplete: " + input.missing +
                  "; give --force to convert it all the same");
  const bool short_raw = input.kind == ImageKind::neither && raw_by_name(options.input) &&
                         !tessil_by_name(options.input) && input.file_size > 0;
  const StandardFormat* padded = nullptr;
  if (short_raw) {
    if (raw_output(options) == true)
      return refuse(options.input +
                    " is a short raw image, and convert makes a tessil image of it: name "
                    "OUTPUT *.tsl or give --tessil");
    std::string why;
    padded = short_raw_format(options, input, why);
    if (!padded) return refuse(why);
  } else if (!options.format.empty()) {
    return refuse("--format is for a short raw INPUT; " + options.input + " is none");
  }
  if (input.kind != ImageKind::neither && raw_output(options) == input.raw() &&
      !platform::same_file(options.input, options.output))
    return refuse(options.input + " is a " + (input.raw() ? "raw" : "tessil") +
                  " image already, and convert makes the other kind: name OUTPUT " +
                  (input.raw() ? "*.tsl or give --tessil" : "*.img or give --raw"));
  if (!input.raw() && !short_raw && options.label)
    return refuse(options.input +
                  " is a tessil image and becomes a raw image, which has no label; "
                  "--label is for a raw image made into a tessil image");

  const ConvertOutcome outcome =
      convert_image({options.input, options.output, options.label, options.force, false, padded});
  switch (outcome.result) {
    case ConvertResult::ok:
      break;
    case ConvertResult::input_unreadable:
      return report_failure(JOB_HEADER_READ_FAILED, options.input, outcome.reason);
    case ConvertResult::output_failed:
      return report_failure(JOB_HEADER_WRITE_FAILED, options.output, outcome.reason);
    case ConvertResult::not_an_image:
      return refuse(options.input + app::neither_kind_words);
    case ConvertResult::no_raw_format:
      return refuse(options.input + " is a tessil image of " + geometry_short(input.header) +
                    (input.data_size == input.geometry_size
                         ? ", which is no standard floppy format, so it has no raw twin"
                         : " whose data are not that size, so it has no raw twin"));
    case ConvertResult::output_exists:
      return refuse(options.output + " already exists; give --force to replace it");
    case ConvertResult::same_file:
      return refuse(options.output + " is " + options.input + " itself");
    case ConvertResult::output_not_a_file:
      return refuse(options.output + " is not a plain file; convert makes only image files");
    case ConvertResult::output_is_a_disk:
      return refuse(options.output +
                    " holds a drive's disk; convert never writes onto a disk (use write)");
  }
  if (outcome.from == ImageKind::raw) {
    std::printf("Done: %s (%s) into the tessil image %s, labelled \"%s\"\n", options.input.c_str(),
                padded ? ("short raw image of a " + std::string(padded->name) + " disk").c_str()
                       : kind_text(input).c_str(),
                options.output.c_str(), options.label.value_or("").c_str());
  } else {
    std::printf("Done: %s (tessil image, labelled \"%s\") into the raw image %s\n",
                options.input.c_str(), input.header.label, options.output.c_str());
  }
  print_checksums(outcome.checksums);
  return exit_ok;
}

}  // namespace

Command add_convert_command(CLI::App& program) {
  auto options = std::make_shared<ConvertOptions>();
  CLI::App* parser = program.add_subcommand(
      "convert", "Turn a tessil image into a raw image, or a raw image into a tessil image");
  parser->add_option("INPUT", options->input, "A tessil image or a raw image")
      ->type_name("")
      ->required();
  parser
      ->add_option("OUTPUT", options->output,
                   "The image file to make, of the other kind: *.img (*.ima, *.vfd, *.flp) for a "
                   "raw image, *.tsl for a tessil image")
      ->type_name("")
      ->required();
  add_label_option(*parser, options->label, "The label of a tessil image made from a raw image");
  add_kind_flags(*parser, options->kind, "Make");
  parser
      ->add_option("--format", options->format,
                   "The disk format of a raw INPUT shorter than its disk (1.44M, 720K, ...), "
                   "when no FAT boot sector in it names one")
      ->type_name("SIZE");
  parser->add_flag("-f,--force", options->force,
                   "Replace OUTPUT if it exists, and convert an INPUT that a rescue map or a "
                   "report beside it calls incomplete");
  return {parser, [options] { return convert(*options); }};
}

}  // namespace tessil::cli
