#include "format/format_job.h"

#include <vector>

namespace tessil::format {

namespace {

bool stop_asked(const FormatSteps& steps) {
  return steps.stop_asked && steps.stop_asked();
}

void report(const FormatSteps& steps, Stage stage, uint32_t done, uint32_t tracks) {
  if (steps.progress) steps.progress({stage, done, tracks});
}

}  // namespace

FormatResult lay_tracks(platform::DiskFormatter& formatter, const StandardFormat& format,
                        const FormatSteps& steps) {
  FormatResult result;
  const uint32_t tracks = format.cylinders * format.heads;
  if ((result.error = formatter.begin(format)) != platform::Error::none) return result;
  report(steps, Stage::laying, 0, tracks);
  for (uint32_t cylinder = 0; cylinder < format.cylinders; ++cylinder) {
    for (uint32_t head = 0; head < format.heads; ++head) {
      if (stop_asked(steps)) {
        result.stopped = true;
        formatter.end();
        return result;
      }
      if ((result.error = formatter.format_track(cylinder, head)) != platform::Error::none) {
        result.failed_track = Track{cylinder, head};
        formatter.end();
        return result;
      }
      report(steps, Stage::laying, ++result.laid, tracks);
    }
  }
  result.error = formatter.end();
  return result;
}

void read_back(platform::Drive& drive, const StandardFormat& format, const FormatSteps& steps,
               FormatResult& result) {
  const uint32_t tracks = format.cylinders * format.heads;
  std::vector<std::byte> track(std::size_t{format.sectors_per_track} * standard_sector_size);
  report(steps, Stage::reading_back, 0, tracks);
  for (uint32_t index = 0; index < tracks; ++index) {
    if (stop_asked(steps)) {
      result.stopped = true;
      return;
    }
    const platform::ReadResult read = drive.read_at(uint64_t{index} * track.size(), track);
    if (read.failed() || read.count != track.size())
      result.unreadable.push_back({index / format.heads, index % format.heads});
    report(steps, Stage::reading_back, index + 1, tracks);
  }
}

}  // namespace tessil::format
