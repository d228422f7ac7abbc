#include "rescue/rescue_map.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <ctime>

namespace tessil::rescue {

namespace {

std::string phase_text(const RescueMap& map) {
  char line[80];
  switch (map.phase) {
    case Phase::copying:
      std::snprintf(line, sizeof line, "Copying non-tried blocks... Pass %d (forwards)", map.pass);
      break;
    case Phase::trimming:
      std::snprintf(line, sizeof line, "Trimming failed blocks... (forwards)");
      break;
    case Phase::scraping:
      std::snprintf(line, sizeof line, "Scraping failed blocks... (forwards)");
      break;
    case Phase::retrying:
      std::snprintf(line, sizeof line, "Retrying bad sectors... Retry %d (forwards)", map.pass);
      break;
    case Phase::finished:
      std::snprintf(line, sizeof line, "Finished");
      break;
  }
  return line;
}

}  // namespace

std::size_t RescueMap::index(Status status) {
  switch (status) {
    case Status::non_tried:
      return 0;
    case Status::non_trimmed:
      return 1;
    case Status::non_scraped:
      return 2;
    case Status::bad:
      return 3;
    case Status::rescued:
      return 4;
  }
  return 0;
}

RescueMap::RescueMap(uint64_t size, uint64_t sector_size)
    : sector_size_(std::max<uint64_t>(sector_size, 1)),
      sectors_((size + sector_size_ - 1) / sector_size_, Status::non_tried) {
  counts_[index(Status::non_tried)] = sectors_.size();
}

RescueMap::RescueMap(std::vector<Status> sectors, uint64_t sector_size)
    : sector_size_(std::max<uint64_t>(sector_size, 1)), sectors_(std::move(sectors)) {
  for (const Status status : sectors_) ++counts_[index(status)];
}

std::vector<Area> RescueMap::areas() const {
  std::vector<Area> out;
  each_area([&out](const Area& area) { out.push_back(area); });
  return out;
}

void RescueMap::set(uint64_t pos, uint64_t size, Status status) {
  const uint64_t end = std::min(pos + size, this->size());
  if (pos >= end) return;
  for (uint64_t i = pos / sector_size_; i < (end + sector_size_ - 1) / sector_size_; ++i) {
    --counts_[index(sectors_[i])];
    sectors_[i] = status;
    ++counts_[index(status)];
  }
}

void RescueMap::extend_to(uint64_t size) {
  const uint64_t sectors = (size + sector_size_ - 1) / sector_size_;
  if (sectors <= sectors_.size()) return;
  counts_[index(Status::non_tried)] += sectors - sectors_.size();
  sectors_.resize(sectors, Status::non_tried);
}

Status RescueMap::status_at(uint64_t pos) const {
  const uint64_t i = pos / sector_size_;
  return i < sectors_.size() ? sectors_[i] : Status::non_tried;
}

std::optional<Area> RescueMap::next(Status status, uint64_t from, uint64_t limit) const {
  const auto begin = sectors_.begin() + static_cast<std::ptrdiff_t>(
                                            std::min<uint64_t>(from / sector_size_, sectors()));
  const auto found = std::find(begin, sectors_.end(), status);
  if (found == sectors_.end() || limit == 0) return std::nullopt;
  const uint64_t first = static_cast<uint64_t>(found - sectors_.begin());
  const uint64_t pos = std::max(first * sector_size_, from);
  // The run ends at the first other status, or where the limit does.
  const uint64_t most = std::min<uint64_t>(
      sectors(), (pos + std::min(limit, size() - pos) + sector_size_ - 1) / sector_size_);
  const auto other = std::find_if(found, sectors_.begin() + static_cast<std::ptrdiff_t>(most),
                                  [status](Status s) { return s != status; });
  const uint64_t end = static_cast<uint64_t>(other - sectors_.begin()) * sector_size_;
  return Area{pos, std::min(end - pos, limit), status};
}

std::string format_map(const RescueMap& map, const MapNotes& notes) {
  std::string text;
  char line[128];
  text += "# Mapfile. Created by tessil " TESSIL_VERSION "\n# Command line: " + notes.command_line +
          "\n";
  text += "# Start time:   " + notes.start_time + "\n";
  text += "# Current time: " + notes.current_time + "\n";
  text += "# " + phase_text(map) + "\n";
  text += "# current_pos  current_status  current_pass\n";
  std::snprintf(line, sizeof line, "0x%08" PRIX64 "     %c               %d\n", map.current_pos,
                static_cast<char>(map.phase), map.pass);
  text += line;
  text += "#      pos        size  status\n";
  map.each_area([&](const Area& area) {
    std::snprintf(line, sizeof line, "0x%08" PRIX64 "  0x%08" PRIX64 "  %c\n", area.pos, area.size,
                  static_cast<char>(area.status));
    text += line;
  });
  return text;
}

std::string map_time_now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

}  // namespace tessil::rescue
