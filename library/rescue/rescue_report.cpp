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

std::vector<uint64_t> sectors_in(const RescueMap& map, uint64_t sector_size, SectorState state,
                                 std::size_t limit) {
  std::vector<uint64_t> sectors;
  map.each_area([&](const Area& area) {
    if (state_of(area.status) == state)
      for (uint64_t at = area.pos; at < area.end() && sectors.size() < limit; at += sector_size)
        sectors.push_back(at / sector_size);
  });
  return sectors;
}

namespace {

char sector_mark(SectorState state) {
  switch (state) {
    case SectorState::good:
      return '.';
    case SectorState::bad:
      return 'X';
    case SectorState::untried:
      return '?';
  }
  return '?';
}

// No floppy has more cylinders, or more sectors on a cylinder.
bool floppy_sized(const DriveInfo& info) {
  return info.cylinders <= 100 && info.sectors_per_track * info.tracks_per_cylinder <= 128;
}

std::string cylinder_picture(const RescueMap& map, const DriveInfo& info) {
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
      text += sector_mark(state_of(map.status_at((first + i) * sector_size)));
    }
    text += '\n';
  }
  text += "'.' rescued  'X' bad  '?' not tried\n";
  return text;
}

// Runs of sectors, one character each, in a bounded number of rows.
std::string run_picture(const RescueMap& map) {
  const uint64_t sectors = map.sectors();
  const uint64_t cells = picture_rows * picture_columns;
  const uint64_t per_cell = std::max<uint64_t>((sectors + cells - 1) / cells, 1);
  std::vector<char> marks((sectors + per_cell - 1) / per_cell, '.');
  map.each_area([&](const Area& area) {
    const char mark = sector_mark(state_of(area.status));
    if (mark == '.') return;
    const uint64_t first = area.pos / map.sector_size();
    const uint64_t last = area.end() / map.sector_size() - 1;
    for (uint64_t cell = first / per_cell; cell <= last / per_cell; ++cell)
      if (marks[cell] != 'X') marks[cell] = mark;
  });
  std::string text = "  sector  each character " + std::to_string(per_cell) +
                     (per_cell == 1 ? " sector\n" : " sectors\n");
  char label[32];
  for (uint64_t row = 0; row * picture_columns < marks.size(); ++row) {
    std::snprintf(label, sizeof label, "%8llu  ",
                  static_cast<unsigned long long>(row * picture_columns * per_cell));
    text += label;
    const uint64_t first = row * picture_columns;
    text.append(marks.begin() + static_cast<std::ptrdiff_t>(first),
                marks.begin() + static_cast<std::ptrdiff_t>(
                                    std::min<uint64_t>(first + picture_columns, marks.size())));
    text += '\n';
  }
  text += "'.' all rescued  'X' one bad or more  '?' one not tried or more\n";
  return text;
}

}  // namespace

std::string compact_picture(const RescueMap& map, const DriveInfo& info) {
  if (!floppy_sized(info)) return run_picture(map);
  const uint64_t sector_size = uint64_t(std::max(info.bytes_per_sector, 1));
  const uint64_t spt = uint64_t(std::max(info.sectors_per_track, 1));
  const uint64_t heads = uint64_t(std::max(info.tracks_per_cylinder, 1));
  const uint64_t cylinders = map.size() / sector_size / (spt * heads);
  std::string text =
      "Tracks, cylinders 0 to " + std::to_string(cylinders - 1) + " across, one row per head:\n";
  for (uint64_t head = 0; head < heads; ++head) {
    for (uint64_t cylinder = 0; cylinder < cylinders; ++cylinder) {
      char mark = '.';
      const uint64_t first = (cylinder * heads + head) * spt;
      for (uint64_t i = 0; i < spt && mark != 'X'; ++i) {
        const char sector = sector_mark(state_of(map.status_at((first + i) * sector_size)));
        if (sector != '.') mark = sector;
      }
      text += mark;
    }
    text += '\n';
  }
  text += "'.' rescued  'X' a bad sector  '?' a sector not tried\n";
  return text;
}

std::string track_picture(const RescueMap& map, const DriveInfo& info) {
  return floppy_sized(info) ? cylinder_picture(map, info) : run_picture(map);
}

std::string pass_words(const RescueMap& map, int retries) {
  switch (map.phase) {
    case Phase::copying:
      return map.pass == 1   ? "reading"
             : map.pass == 2 ? "retrying skipped areas"
                             : "reading by track";
    case Phase::trimming:
      return "trimming";
    case Phase::scraping:
      return "scraping";
    case Phase::retrying:
      return "retry " + std::to_string(map.pass) + " of " + std::to_string(retries);
    case Phase::finished:
      return "finished";
  }
  return "";
}

}  // namespace tessil::rescue
