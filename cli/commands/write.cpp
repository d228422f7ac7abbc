// tessil-cli write IMAGE DRIVE [--yes] [--no-verify] [--progress]: an image
// file, tessil or raw, onto the disk in a drive, after showing what it
// replaces; then the disk read back and compared with it.
#include <cstdio>
#include <memory>

#include "app/drive_facts.h"
#include "app/image_facts.h"
#include "app/job_runner.h"
#include "command.h"
#include "confirm.h"
#include "describe.h"
#include "exit_status.h"
#include "image_kind.h"
#include "jobs.h"
#include "progress_display.h"
#include "raw_image.h"
#include "verify_report.h"

namespace tessil::cli {

namespace {

struct WriteOptions {
  std::string image;
  std::string drive;
  bool yes = false;
  bool progress = false;
  bool no_verify = false;
  bool force = false;
  KindFlags kind;
};

// Why the image's data are fewer than the disk its header describes; empty
// when they are all there. A write of such an image would stop short. (One
// longer than its header says is no tessil image at all.)
std::string size_problem(const app::ImageFacts& image) {
  if (image.raw() || image.data_size >= image.geometry_size) return {};
  return image.path + " holds " + grouped(image.data_size) + " bytes of data, but its header " +
         "describes a disk of " + grouped(image.geometry_size) + ": it is cut short";
}

// The file's sectors next to the disk's, before the question.
std::string short_raw_words(const app::ImageFacts& image, const app::DriveFacts& drive,
                            char letter) {
  const ImageHeader disk = header_of(drive.info);
  const uint64_t sectors = app::sectors_in(image.file_size);
  const uint64_t disk_sectors = app::sectors_in(drive.info.size);
  return image.path + " is a raw image of " + grouped(sectors) + " sectors (" +
         grouped(image.file_size) + " bytes), shorter than the " + disk_size_words(disk) +
         " disk in drive " + std::string(1, letter) + "; the other " +
         grouped(disk_sectors - sectors) + " sectors will be filled with zeros";
}

void show_what_is_replaced(const app::DriveFacts& drive, const app::ImageFacts& image,
                           bool short_raw) {
  std::fprintf(stderr,
               "About to replace the whole disk in drive %c:\n"
               "  Device:    %s (%s)\n"
               "  Geometry:  %s\n"
               "  Size:      %llu bytes (%s)\n"
               "with the image file %s, %s.\n",
               drive.letter, printable(drive.device).c_str(),
               std::string(kind_text(drive.kind)).c_str(),
               geometry_text(header_of(drive.info)).c_str(),
               static_cast<unsigned long long>(drive.info.size),
               human_size(drive.info.size).c_str(), printable(image.path).c_str(),
               short_raw     ? "a short raw image without a label"
               : image.raw() ? ("a " + kind_text(image) + " without a label").c_str()
                             : ("labelled \"" + printable(image.header.label) + "\"").c_str());
  if (!image.missing.empty())
    std::fprintf(stderr, "The image is incomplete: %s.\n", printable(image.missing).c_str());
}

int write_disk(const WriteOptions& options) {
  const char letter = *app::drive_letter(options.drive);
  const app::ImageFacts image = app::look_at_image(options.image);
  if (image.code != JOB_OK) return report_failure(image.code, options.image, image.reason);
  // A file named raw that is no image of a standard size may be a short raw
  // one; which, only the disk's size tells. A tessil name never is.
  const bool raw_named = options.kind.raw || (!options.kind.tessil && raw_by_name(options.image) &&
                                              !tessil_by_name(options.image));
  const bool maybe_short = image.kind == ImageKind::neither && raw_named && image.file_size > 0;
  if (image.kind == ImageKind::neither && !maybe_short)
    return refuse(options.image + app::neither_kind_words);
  if (const std::string problem = size_problem(image); !problem.empty()) return refuse(problem);
  if (!image.missing.empty() && !options.force)
    return refuse(options.image + " is incomplete: " + image.missing +
                  "; give --force to write it all the same");
  if (app::is_drive_file(letter, options.image))
    return refuse(options.image + " is the disk in drive " + std::string(1, letter) +
                  " itself: a disk cannot be written with its own image");
  // The look at the drive, the write and the verify share one opening of
  // it, read-write.
  const std::unique_ptr<platform::DriveSession> held =
      app::hold_drive(letter, platform::DriveAccess::read_write);
  const app::DriveFacts drive = app::look_at_drive(letter, held.get());
  const std::string drive_name = drive_text(letter, drive.device);
  if (!drive.has_disk) return report_failure(JOB_NO_MEDIA, drive_name, drive.reason);
  // Nothing to confirm when the job would refuse the image anyway.
  const ImageHeader disk = header_of(drive.info);
  if (maybe_short && image.file_size > drive.info.size)
    return report_failure(JOB_GEOMETRY_MISMATCH,
                          options.image + " holds " + grouped(image.file_size) +
                              " bytes, more than the " + grouped(drive.info.size) + " of the " +
                              disk_size_words(disk) + " disk in " + drive_name);
  if (image.boot_format && !same_geometry(header_of(*image.boot_format), disk))
    return report_failure(JOB_GEOMETRY_MISMATCH,
                          options.image + " is a " + std::string(image.boot_format->name) +
                              " disk image, by its FAT boot sector; the disk in " + drive_name +
                              " is " + disk_size_words(disk));
  if (!maybe_short && (!image.whole_header || !same_geometry(image.header, disk)))
    return report_failure(JOB_GEOMETRY_MISMATCH,
                          options.image + " is a " + disk_size_words(image.header) +
                              " image; the disk in " + drive_name + " is " + disk_size_words(disk));

  if (maybe_short)
    std::fprintf(stderr, "%s.\n", printable(short_raw_words(image, drive, letter)).c_str());
  show_what_is_replaced(drive, image, maybe_short);
  if (!options.yes) {
    if (!can_ask())
      return refuse("standard input is not a terminal; give --yes to write without asking");
    if (!confirmed("Type yes to write:")) return refuse("nothing was written");
  }

  JobRequest request{std::string(1, letter), options.image, ""};
  request.raw_image = image.raw() || maybe_short;
  request.pad_raw = maybe_short;
  request.session = held.get();
  ProgressDisplay display(ProgressDisplay::style_for_stderr(options.progress), "Writing");
  const app::JobRun run = app::run_job(run_write_job, request, display);
  if (run.outcome.code != JOB_OK)
    return report_job_failure(run.outcome.code, run.outcome.reason, drive_name, options.image);
  std::printf("Done: %s written onto %s, %llu bytes in %.1f s\n", options.image.c_str(),
              drive_name.c_str(), static_cast<unsigned long long>(run.done), run.seconds);
  if (options.no_verify) return exit_ok;
  // A write the drive accepted can still read back wrong.
  std::fflush(stdout);
  return report_verify(run_verify(request, options.progress), drive_name, options.image);
}

}  // namespace

Command add_write_command(CLI::App& program) {
  auto options = std::make_shared<WriteOptions>();
  CLI::App* parser = program.add_subcommand(
      "write",
      "Replace the whole disk in DRIVE with an image file (tessil or raw) of its format, then "
      "verify it");
  parser
      ->add_option("IMAGE", options->image,
                   "The image file to write: a tessil image, or a raw image of a standard size")
      ->type_name("")
      ->required();
  add_drive_argument(*parser, options->drive);
  parser->add_flag(
      "-y,--yes", options->yes,
      "Write without asking for a typed yes (needed when standard input is not a terminal)");
  parser->add_flag("-f,--force", options->force,
                   "Write an image that a rescue map or a report beside it calls incomplete");
  parser->add_flag("--no-verify", options->no_verify,
                   "Skip reading the disk back and comparing it with IMAGE after the write");
  add_kind_flags(*parser, options->kind, "IMAGE is");
  add_progress_flag(*parser, options->progress);
  return {parser, [options] { return write_disk(*options); }};
}

}  // namespace tessil::cli
