#include "app/format_disk.h"

#include <algorithm>
#include <chrono>

#include "app/drive_facts.h"
#include "format/empty_fat.h"
#include "jobs.h"
#include "outcomes.h"
#include "tessil.h"

namespace tessil::app {

namespace {

int32_t code_of_open_failure(platform::Error error) {
  switch (error) {
    case platform::Error::no_medium:
      return JOB_NO_MEDIA;
    case platform::Error::read_only:
      return JOB_SHORT_WRITE;  // the disk cannot take what is written
    default:
      return JOB_DRIVE_OPEN_FAILED;
  }
}

// Now, as a FAT volume records its making: the label's date and time (UTC,
// for want of the machine's zone in the engine) and a serial from them.
format::FatStamp stamp_now() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{floor<seconds>(now - day)};
  format::FatStamp stamp;
  stamp.date = static_cast<uint16_t>((std::max(int(date.year()) - 1980, 0) << 9) |
                                     (unsigned(date.month()) << 5) | unsigned(date.day()));
  stamp.time = static_cast<uint16_t>((time.hours().count() << 11) | (time.minutes().count() << 5) |
                                     (time.seconds().count() / 2));
  const auto ticks = duration_cast<milliseconds>(now.time_since_epoch()).count();
  stamp.serial = static_cast<uint32_t>(ticks ^ (ticks >> 32));
  return stamp;
}

// Writes the empty FAT volume at the disk's start.
platform::Error write_fat(const FormatRequest& request, const StandardFormat& format) {
  const std::vector<std::byte> volume = format::empty_fat12(format, request.label, stamp_now());
  if (volume.empty()) return platform::Error::other;
  platform::Error error = platform::Error::none;
  const std::unique_ptr<platform::Drive> drive =
      open_drive(request.letter, platform::DriveAccess::read_write, error, request.session);
  if (!drive) return error;
  if ((error = drive->write_at(0, volume)) != platform::Error::none) return error;
  return drive->flush();
}

}  // namespace

const StandardFormat* own_format(const std::vector<const StandardFormat*>& formats) {
  const StandardFormat* own = nullptr;
  for (const StandardFormat* format : formats)
    if (format->media_type != 0 || !own) own = format;
  return own;
}

const StandardFormat* chosen_format(const FormatRequest& request) {
  return request.format ? request.format : own_format(drive_formats(request.letter));
}

std::optional<std::string> usb_cannot_take(char letter, const StandardFormat& format) {
  if (format.sectors_per_track != 21) return std::nullopt;
  for (const platform::DriveEntry& entry : platform::current().list_drives())
    if (entry.letter == letter && entry.kind == platform::DriveKind::usb_floppy)
      return std::string("drive ") + letter + " is a USB floppy drive, and USB floppy drives " +
             "cannot read or write " + std::string(format.name) + " disks";
  return std::nullopt;
}

std::optional<std::string> format_refusal(const FormatRequest& request) {
  const std::vector<const StandardFormat*> formats = drive_formats(request.letter);
  const std::string drive = std::string("drive ") + request.letter;
  if (formats.empty()) return "format works on floppy drives only";
  if (request.format &&
      std::find(formats.begin(), formats.end(), request.format) == formats.end()) {
    std::string taken;
    for (const StandardFormat* format : formats)
      taken += (taken.empty() ? "" : ", ") + std::string(format->name);
    return drive + " cannot give a disk the " + std::string(request.format->name) +
           " format; it takes " + taken;
  }
  if (request.fat)
    if (const std::optional<std::string> problem = format::fat_label_problem(request.label))
      return *problem;
  return std::nullopt;
}

FormatRun run_format(const FormatRequest& request, const format::FormatSteps& steps) {
  FormatRun run;
  const auto start = std::chrono::steady_clock::now();
  const auto finish = [&run, start](int32_t code, platform::Error reason) {
    run.code = code;
    run.reason = reason;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return run;
  };
  if (const std::optional<std::string> refusal = format_refusal(request)) {
    run.refusal = *refusal;
    return finish(outcome::usage, platform::Error::none);
  }
  run.format = chosen_format(request);
  platform::Error error = platform::Error::none;
  {
    std::unique_ptr<platform::DiskFormatter> formatter =
        open_to_format(request.letter, error, request.session);
    if (!formatter) return finish(code_of_open_failure(error), error);
    run.result = format::lay_tracks(*formatter, *run.format, steps);
  }  // closed before the read-back opens the drive for itself
  if (run.result.stopped) return finish(JOB_CANCELLED, platform::Error::none);
  if (run.result.error != platform::Error::none)
    return finish(
        run.result.error == platform::Error::read_only ? JOB_SHORT_WRITE : JOB_DRIVE_WRITE_FAILED,
        run.result.error);
  {
    const std::unique_ptr<platform::Drive> drive =
        open_drive_to_verify(request.letter, error, request.session);
    if (!drive) return finish(JOB_DRIVE_OPEN_FAILED, error);
    format::read_back(*drive, *run.format, steps, run.result);
  }
  if (run.result.stopped) return finish(JOB_CANCELLED, platform::Error::none);
  if (!run.result.unreadable.empty()) return finish(outcome::verify_failed, platform::Error::io);
  if (request.fat)
    if (const platform::Error fat = write_fat(request, *run.format); fat != platform::Error::none)
      return finish(JOB_DRIVE_WRITE_FAILED, fat);
  return finish(JOB_OK, platform::Error::none);
}

std::string tracks_words(const std::vector<format::Track>& tracks) {
  constexpr std::size_t named = 8;  // a whole disk's worth would bury the line
  std::string words;
  for (std::size_t i = 0; i < tracks.size() && i < named; ++i)
    words += (words.empty() ? "" : ", ") + std::string("cylinder ") +
             std::to_string(tracks[i].cylinder) + " head " + std::to_string(tracks[i].head);
  if (tracks.size() > named) words += " and " + std::to_string(tracks.size() - named) + " more";
  return words;
}

}  // namespace tessil::app
