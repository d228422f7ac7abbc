#include "rescue_progress.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/cancel_signals.h"
#include "describe.h"
#include "rescue/rescue_report.h"

namespace tessil::cli {

using rescue::Phase;
using rescue::RescueMap;

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
  const uint64_t pending = map.bytes(rescue::Status::non_tried) +
                           map.bytes(rescue::Status::non_trimmed) +
                           map.bytes(rescue::Status::non_scraped);
  const uint64_t decided = map.size() - pending;
  if (!decided_at_start_) decided_at_start_ = decided;
  const unsigned percent = map.size() == 0 ? 0 : unsigned(decided * 100 / map.size());
  std::string line = std::to_string(percent) + "% decided, " + std::to_string(counts.good) +
                     " rescued, " + std::to_string(counts.bad) + " bad";
  const double rate = seconds > 0 ? double(decided - *decided_at_start_) / seconds : 0;
  if (rate > 0) line += ", " + human_size(uint64_t(rate)) + "/s";
  line += ", " + clock_text(seconds);
  // What is left of the passes after this one is not known until they come.
  if (rate > 0 && pending > 0) line += ", " + clock_text(double(pending) / rate) + " left";
  display_.show_text(line + ", " + rescue::pass_words(map, retries_), seconds);
}

}  // namespace tessil::cli
