#include "rescue_progress.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/cancel_signals.h"
#include "rescue/rescue_report.h"

namespace tessil::cli {

namespace {

using rescue::Phase;
using rescue::RescueMap;

std::string_view phase_name(Phase phase) {
  switch (phase) {
    case Phase::copying:
      return "copying";
    case Phase::trimming:
      return "trimming";
    case Phase::scraping:
      return "scraping";
    case Phase::retrying:
      return "retrying";
    case Phase::finished:
      return "finished";
  }
  return "";
}

}  // namespace

bool RescueProgress::cancel_requested() {
  return app::CancelSignals::requested();
}

void RescueProgress::started(const DriveInfo& drive) {
  sector_ = uint64_t(std::max(drive.bytes_per_sector, 1));
}

void RescueProgress::map_changed(const RescueMap& map) {
  if (map.phase == Phase::retrying) retry_passes_ = std::max(retry_passes_, map.pass);
  const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  if (display_.due(seconds)) show(map, seconds);
}

void RescueProgress::finish(const RescueMap& map) {
  if (!display_.active()) return;
  if (map.size() > 0) show(map, std::chrono::duration<double>(Clock::now() - start_).count());
  display_.end_line();
}

void RescueProgress::show(const RescueMap& map, double seconds) {
  const rescue::SectorCounts counts = rescue::count_sectors(map, sector_);
  char line[160];
  std::snprintf(line, sizeof line,
                "%-8s pass %d at sector %" PRIu64 ": %" PRIu64 " rescued, %" PRIu64 " bad, %" PRIu64
                " not tried",
                std::string(phase_name(map.phase)).c_str(), map.pass, map.current_pos / sector_,
                counts.good, counts.bad, counts.untried);
  display_.show_text(line, seconds);
}

}  // namespace tessil::cli
