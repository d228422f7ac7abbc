// Formatting a disk track by track, then reading every track back: a
// format command the drive accepted proves nothing until its sectors read.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/handles.h"
#include "standard_formats.h"

namespace tessil::format {

struct Track {
  uint32_t cylinder = 0;
  uint32_t head = 0;

  bool operator==(const Track&) const = default;
};

enum class Stage { laying, reading_back };

// Where a format is: `done` of the format's tracks in `stage`.
struct FormatProgress {
  Stage stage = Stage::laying;
  uint32_t done = 0;
  uint32_t tracks = 0;
};

struct FormatSteps {
  std::function<void(const FormatProgress&)> progress;  // after each track
  std::function<bool()> stop_asked;                     // read between tracks
};

struct FormatResult {
  platform::Error error = platform::Error::none;  // of the first step that failed
  std::optional<Track> failed_track;              // the format command it failed on
  std::vector<Track> unreadable;                  // tracks that did not read back
  uint32_t laid = 0;                              // tracks formatted
  bool stopped = false;                           // a stop was asked and taken

  bool whole(const StandardFormat& format) const {
    return error == platform::Error::none && unreadable.empty() && !stopped &&
           laid == format.cylinders * format.heads;
  }
};

// Lays down every track of `format`, cylinder by cylinder, and ends the
// format. A stop ends it at a track boundary; the disk is then partly
// formatted.
FormatResult lay_tracks(platform::DiskFormatter& formatter, const StandardFormat& format,
                        const FormatSteps& steps);

// Reads every track of `format` from `drive` (opened to read the medium
// itself), adding those that fail to `result.unreadable`.
void read_back(platform::Drive& drive, const StandardFormat& format, const FormatSteps& steps,
               FormatResult& result);

}  // namespace tessil::format
