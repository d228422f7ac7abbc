#include "rescue_progress.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <string_view>

#include "cancel_signals.h"
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
  return CancelSignals::requested();
}

void RescueProgress::started(const DriveInfo& drive) {
  sector_ = uint64_t(std::max(drive.bytes_per_sector, 1));
}

void RescueProgress::map_changed(const RescueMap& map) {
  if (map.phase == Phase::retrying) retry_passes_ = std::max(retry_passes_, map.pass);
  if (style_ == ProgressDisplay::Style::none) return;
  const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  const double interval = style_ == ProgressDisplay::Style::line ? 0.1 : 1.0;
  if (shown_ && seconds - last_shown_ < interval) return;
  show(map, seconds);
}

void RescueProgress::finish(const RescueMap& map) {
  if (style_ == ProgressDisplay::Style::none) return;
  if (map.size() > 0) show(map, std::chrono::duration<double>(Clock::now() - start_).count());
  if (style_ == ProgressDisplay::Style::line && shown_) std::fputc('\n', stderr);
  std::fflush(stderr);
}

void RescueProgress::show(const RescueMap& map, double seconds) {
  const rescue::SectorCounts counts = rescue::count_sectors(map, sector_);
  char line[160];
  std::snprintf(line, sizeof line,
                "%-8s pass %d at sector %" PRIu64 ": %" PRIu64 " rescued, %" PRIu64 " bad, %" PRIu64
                " not tried",
                std::string(phase_name(map.phase)).c_str(), map.pass, map.current_pos / sector_,
                counts.good, counts.bad, counts.untried);
  std::string text = line;
  if (style_ == ProgressDisplay::Style::line) {
    const std::size_t width = text.size();
    if (width < last_width_) text.append(last_width_ - width, ' ');
    last_width_ = width;
    std::fprintf(stderr, "\r%s", text.c_str());
  } else {
    std::fprintf(stderr, "tessil-cli: %s\n", text.c_str());
  }
  std::fflush(stderr);
  shown_ = true;
  last_shown_ = seconds;
}

}  // namespace tessil::cli
