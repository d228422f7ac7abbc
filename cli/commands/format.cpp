// tessil-cli format DRIVE [--type SIZE] [--fat [--label TEXT]] [--yes]: a
// new format laid down on the disk in a floppy drive, every track read
// back, and an empty FAT volume on top when asked.
#include <cstdio>
#include <memory>

#include "app/drive_facts.h"
#include "app/format_disk.h"
#include "app/format_names.h"
#include "command.h"
#include "confirm.h"
#include "describe.h"
#include "disk_head.h"
#include "exit_status.h"
#include "format_run.h"

namespace tessil::cli {

namespace {

struct FormatOptions {
  std::string drive;
  std::string type;
  bool fat = false;
  std::string label;
  bool yes = false;
  bool progress = false;
};

// What the disk in the drive holds now, in words, for the question.
std::string what_is_lost(char letter) {
  const app::DriveFacts drive = app::look_at_drive(letter);
  const std::string name = drive_text(letter, drive.device);
  if (!drive.has_disk)
    return drive.reason == platform::Error::no_medium
               ? "There is no disk in " + name + ", or it holds no format yet."
               : "The disk in " + name + " cannot be read now.";
  std::string words = "The disk in " + name + " is " + disk_size_words(header_of(drive.info));
  platform::Error reason = platform::Error::none;
  const std::optional<std::vector<std::byte>> head =
      read_disk_head(letter, label_head_length, &reason);
  const std::string label = head ? fat_volume_label(*head) : std::string();
  if (!label.empty()) words += ", volume label \"" + printable(label) + "\"";
  return words + "; everything on it will be lost.";
}

int format_drive(const FormatOptions& options) {
  app::FormatRequest request;
  request.letter = *app::drive_letter(options.drive);
  request.fat = options.fat;
  request.label = options.label;
  if (!options.type.empty() && !(request.format = app::format_named(options.type)))
    return refuse("--type " + options.type + " names no standard format; give one of " +
                  app::format_names());
  if (const std::optional<std::string> refusal = app::format_refusal(request))
    return refuse(*refusal);
  const StandardFormat& format = *app::chosen_format(request);

  std::fprintf(
      stderr, "%s\nAbout to format it as %s (%u cylinders, %u heads, %u sectors per track)%s.\n",
      what_is_lost(request.letter).c_str(), std::string(format.name).c_str(), format.cylinders,
      format.heads, format.sectors_per_track,
      !options.fat ? ""
      : options.label.empty()
          ? ", with an empty FAT volume"
          : (", with an empty FAT volume labelled \"" + printable(options.label) + "\"").c_str());
  if (const std::optional<int> refused = refusal_without_yes(options.yes, "format", "formatted"))
    return *refused;

  const app::FormatRun run = format_with_progress(request, options.progress);
  return report_format(run, request);
}

}  // namespace

Command add_format_command(CLI::App& program) {
  auto options = std::make_shared<FormatOptions>();
  CLI::App* parser = program.add_subcommand(
      "format",
      "Format the disk in a floppy drive, read every track back, and optionally put "
      "an empty FAT volume on it");
  add_drive_argument(*parser, options->drive);
  parser
      ->add_option("-t,--type", options->type,
                   "The format: 160, 180, 320, 360, 720, 1200, 1440, 1680, 1722 or 2880 (KB), or "
                   "a name such as 1.44M; default: the drive's own, 1.44M in a 1.44 MB drive")
      ->type_name("SIZE");
  CLI::Option* fat =
      parser->add_flag("--fat", options->fat, "Then write an empty FAT12 file system on it");
  parser->add_option("-l,--label", options->label, "The FAT volume label (at most 11 characters)")
      ->type_name("TEXT")
      ->needs(fat);
  parser->add_flag(
      "-y,--yes", options->yes,
      "Format without asking for a typed yes (needed when standard input is not a terminal)");
  add_progress_flag(*parser, options->progress);
  return {parser, [options] { return format_drive(*options); }};
}

}  // namespace tessil::cli
