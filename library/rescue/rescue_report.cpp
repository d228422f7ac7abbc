#include "rescue/rescue_report.h"

#include <algorithm>
#include <cstdio>

namespace tessil::rescue {

Chs chs_of(const DriveInfo& info, uint64_t sector) {
  const uint64_t spt = uint64_t(std::max(info.sectors_per_track, 1));
  const uint64_t heads = uint64_t(std::max(info.tracks_per_cylinder, 1));
  return {static_cast<uint32_t>(sector / (spt * heads)),
          static_cast<uint32_t>(sector / spt % heads), static_cast<uint32_t>(sector % spt + 1)};
}

SectorState state_of(Status status) {
  switch (status) {
    case Status::rescued:
      return SectorState::good;
    case Status::bad:
      return SectorState::bad;
    default:
      // A failed large read says nothing yet about each of its sectors.
      return SectorState::untried;
  }
}

SectorCounts count_sectors(const RescueMap& map, uint64_t sector_size) {
  const uint64_t size = std::max<uint64_t>(sector_size, 1);
  const uint64_t good = map.bytes(Status::rescued) / size;
  const uint64_t bad = map.bytes(Status::bad) / size;
  return {good, bad, map.size() / size - good - bad};
}

std::vector<uint64_t> sectors_in(const RescueMap& map, uint64_t sector_size, SectorState state) {
  std::vector<uint64_t> sectors;
  map.each_area([&](const Area& area) {
    if (state_of(area.status) == state)
      for (uint64_t at = area.pos; at < area.end(); at += sector_size)
        sectors.push_back(at / sector_size);
  });
  return sectors;
}

std::string track_picture(const RescueMap& map, const DriveInfo& info) {
  const uint64_t sector_size = uint64_t(std::max(info.bytes_per_sector, 1));
  const uint64_t spt = uint64_t(std::max(info.sectors_per_track, 1));
  const uint64_t heads = uint64_t(std::max(info.tracks_per_cylinder, 1));
  std::string text;
  char label[32];
  std::snprintf(label, sizeof label, "%4s ", "cyl");
  text += label;
  for (uint64_t head = 0; head < heads; ++head) {
    std::string title = "head " + std::to_string(head);
    title.resize(spt + 1, ' ');
    text += title;
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  text += '\n';
  const uint64_t sectors = map.size() / sector_size;
  for (uint64_t first = 0; first < sectors; first += spt * heads) {
    std::snprintf(label, sizeof label, "%4llu ",
                  static_cast<unsigned long long>(first / (spt * heads)));
    text += label;
    for (uint64_t i = 0; i < spt * heads && first + i < sectors; ++i) {
      if (i > 0 && i % spt == 0) text += ' ';
      switch (state_of(map.status_at((first + i) * sector_size))) {
        case SectorState::good:
          text += '.';
          break;
        case SectorState::bad:
          text += 'X';
          break;
        case SectorState::untried:
          text += '?';
          break;
      }
    }
    text += '\n';
  }
  text += "'.' rescued  'X' bad  '?' not tried\n";
  return text;
}

}  // namespace tessil::rescue
