// tessil-cli write IMAGE DRIVE [--yes] [--no-verify] [--progress]: an image
// file, tessil or raw, onto the disk in a drive, after showing what it
// replaces; then the disk read back and compared with it.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/drive_facts.h"
#include "app/format_disk.h"
#include "app/image_facts.h"
#include "app/job_runner.h"
#include "command.h"
#include "confirm.h"
#include "describe.h"
#include "exit_status.h"
#include "format_run.h"
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
  bool format = false;
  KindFlags kind;
};

// The standard format of the image's disk; null for a short raw image or
// a geometry of no standard format.
const StandardFormat* format_of(const app::ImageFacts& image) {
  if (image.raw()) return standard_format_of(image.file_size);
  if (!image.whole_header) return nullptr;
  return standard_format_of(image.header.cylinders, image.header.tracks_per_cylinder,
                            image.header.sectors_per_track, image.header.bytes_per_sector);
}

// True when drive `letter` can give a disk `format`.
bool drive_takes(char letter, const StandardFormat* format) {
  if (!format) return false;
  const std::vector<const StandardFormat*> formats = app::drive_formats(letter);
  return std::find(formats.begin(), formats.end(), format) != formats.end();
}

// A 108 refusal, with the way out when the drive can take the image's
// format.
int refuse_format(const std::string& words, char letter, const StandardFormat* format) {
  return report_failure(
      JOB_GEOMETRY_MISMATCH,
      drive_takes(letter, format)
          ? words + "; give --format to format the disk as " + std::string(format->name) + " first"
          : words);
}

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
  if (!drive.has_disk) {
    std::fprintf(stderr,
                 "About to replace the disk in drive %c (%s), which reads in no format,\n"
                 "with the image file %s.\n",
                 drive.letter, printable(drive.device).c_str(), printable(image.path).c_str());
    return;
  }
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
  // The format the disk could be given: the image's, where its FAT boot
  // sector does not say otherwise.
  const StandardFormat* image_format = maybe_short ? nullptr : format_of(image);
  if (image.boot_format && image.boot_format != image_format) image_format = nullptr;
  // A disk that reads in no format at all may be one never formatted.
  const bool reformat_blank =
      !drive.has_disk && options.format && drive.reason != platform::Error::not_found &&
      !platform::not_authorised(drive.reason) && drive_takes(letter, image_format);
  if (!drive.has_disk && !reformat_blank)
    return report_failure(JOB_NO_MEDIA, drive_name, drive.reason);
  // Nothing to confirm when the job would refuse the image anyway.
  const ImageHeader disk = header_of(drive.info);
  if (maybe_short && image.file_size > drive.info.size)
    return report_failure(JOB_GEOMETRY_MISMATCH,
                          options.image + " holds " + grouped(image.file_size) +
                              " bytes, more than the " + grouped(drive.info.size) + " of the " +
                              disk_size_words(disk) + " disk in " + drive_name);
  if (image.boot_format && !same_geometry(header_of(*image.boot_format), disk) && !reformat_blank)
    if (!options.format || !drive_takes(letter, image_format))
      return refuse_format(options.image + " is a " + std::string(image.boot_format->name) +
                               " disk image, by its FAT boot sector; the disk in " + drive_name +
                               " is " + disk_size_words(disk),
                           letter, image.boot_format);
  if (!maybe_short && !reformat_blank &&
      (!image.whole_header || !same_geometry(image.header, disk)))
    if (!options.format || !drive_takes(letter, image_format))
      return refuse_format(options.image + " is a " + disk_size_words(image.header) +
                               " image; the disk in " + drive_name + " is " + disk_size_words(disk),
                           letter, image_format);
  const bool reformat = reformat_blank || (!maybe_short && !same_geometry(image.header, disk));

  if (maybe_short)
    std::fprintf(stderr, "%s.\n", printable(short_raw_words(image, drive, letter)).c_str());
  if (reformat)
    std::fprintf(stderr,
                 "The disk in drive %c will first be formatted as %s, the image's format.\n",
                 letter, std::string(image_format->name).c_str());
  show_what_is_replaced(drive, image, maybe_short);
  if (const std::optional<int> refused = refusal_without_yes(options.yes, "write", "written"))
    return *refused;

  if (reformat) {
    app::FormatRequest format_request;
    format_request.letter = letter;
    format_request.format = image_format;
    const app::FormatRun formatted = format_with_progress(format_request, options.progress);
    if (formatted.code != outcome::done) return report_format(formatted, format_request);
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
  parser->add_flag("--format", options->format,
                   "Format the disk to the image's format first when it holds another one (or "
                   "none) and the drive can take the image's");
  parser->add_flag("--no-verify", options->no_verify,
                   "Skip reading the disk back and comparing it with IMAGE after the write");
  add_kind_flags(*parser, options->kind, "IMAGE is");
  add_progress_flag(*parser, options->progress);
  return {parser, [options] { return write_disk(*options); }};
}

}  // namespace tessil::cli
