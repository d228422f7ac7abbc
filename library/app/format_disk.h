// Formatting the disk in a drive, as both front ends offer it: the drive's
// own formats, the format laid down and read back, then, when asked, an
// empty FAT volume on it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/drive_facts.h"
#include "format/format_job.h"
#include "platform/platform.h"

namespace tessil::app {

struct FormatRequest {
  char letter = 'A';
  const StandardFormat* format = nullptr;  // null: the drive's own
  bool fat = false;                        // an empty FAT volume on top
  std::string label;                       // its volume label; may be empty
  platform::DriveSession* session = nullptr;
};

// Words for a 21-sector `format` (1.68 or 1.72 MB) asked of drive
// `letter` when it is a USB floppy drive, which cannot read such disks;
// nothing otherwise.
std::optional<std::string> usb_cannot_take(char letter, const StandardFormat& format);

// Why `request` cannot be carried out as asked, in words; nothing when it
// can. Looks at the drive's formats, not at its disk.
std::optional<std::string> format_refusal(const FormatRequest& request);

// A drive's own format among its `formats` (smallest first): the largest
// but for the denser 21-sector ones, which are for those who ask for them.
const StandardFormat* own_format(const std::vector<const StandardFormat*>& formats);

// The format `request` lays down: its own, else the drive's own (the
// largest but for the denser 21-sector formats).
const StandardFormat* chosen_format(const FormatRequest& request);

struct FormatRun {
  int32_t code = 0;  // an outcome number
  platform::Error reason = platform::Error::none;
  std::string refusal;  // words of a refusal (outcome::usage)
  const StandardFormat* format = nullptr;
  format::FormatResult result;
  double seconds = 0;
};

// Formats, reads back and, when asked, writes the FAT volume. `steps`
// shows progress and may stop the format between tracks.
FormatRun run_format(const FormatRequest& request, const format::FormatSteps& steps);

// "cylinder 3 head 1, cylinder 7 head 0": tracks by place, the first
// eight and then how many more, for the line that ends a failed format.
std::string tracks_words(const std::vector<format::Track>& tracks);

}  // namespace tessil::app
