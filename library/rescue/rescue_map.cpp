#include "rescue/rescue_map.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iterator>

namespace tessil::rescue {

namespace {

bool valid_status(char c) {
  return c == '?' || c == '*' || c == '/' || c == '-' || c == '+';
}

// ddrescue has a few more current states (filling, generating); a map it
// left in one of them resumes with copying, which tries what is left.
Phase phase_of(char c) {
  switch (c) {
    case '*':
      return Phase::trimming;
    case '/':
      return Phase::scraping;
    case '-':
      return Phase::retrying;
    case '+':
      return Phase::finished;
    default:
      return Phase::copying;
  }
}

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

// A number as ddrescue writes it, or in any base strtoull reads (0x..., 0...,
// decimal).
std::optional<uint64_t> number(std::string_view word) {
  if (word.empty() || word.front() == '-' || word.front() == '+') return std::nullopt;
  const std::string text(word);
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
  if (end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

}  // namespace

RescueMap::RescueMap(uint64_t size) : size_(size) {
  if (size > 0) areas_.push_back({0, size, Status::non_tried});
}

void RescueMap::set(uint64_t pos, uint64_t size, Status status) {
  const uint64_t end = std::min(pos + size, size_);
  if (pos >= end) return;
  std::vector<Area> out;
  out.reserve(areas_.size() + 2);
  auto add = [&out](Area area) {
    if (area.size == 0) return;
    if (!out.empty() && out.back().status == area.status && out.back().end() == area.pos)
      out.back().size += area.size;
    else
      out.push_back(area);
  };
  bool placed = false;
  for (const Area& area : areas_) {
    if (area.end() <= pos || area.pos >= end) {
      if (!placed && area.pos >= end) {
        add({pos, end - pos, status});
        placed = true;
      }
      add(area);
      continue;
    }
    if (area.pos < pos) add({area.pos, pos - area.pos, area.status});
    if (!placed) {
      add({pos, end - pos, status});
      placed = true;
    }
    if (area.end() > end) add({end, area.end() - end, area.status});
  }
  if (!placed) add({pos, end - pos, status});
  areas_ = std::move(out);
}

void RescueMap::extend_to(uint64_t size) {
  if (size <= size_) return;
  const uint64_t old = size_;
  size_ = size;
  set(old, size - old, Status::non_tried);
}

Status RescueMap::status_at(uint64_t pos) const {
  const auto it = std::upper_bound(areas_.begin(), areas_.end(), pos,
                                   [](uint64_t p, const Area& a) { return p < a.end(); });
  return it == areas_.end() ? Status::non_tried : it->status;
}

std::optional<Area> RescueMap::next(Status status, uint64_t from) const {
  auto it = std::upper_bound(areas_.begin(), areas_.end(), from,
                             [](uint64_t p, const Area& a) { return p < a.end(); });
  for (; it != areas_.end(); ++it) {
    if (it->status != status) continue;
    Area area = *it;
    if (area.pos < from) {
      area.size -= from - area.pos;
      area.pos = from;
    }
    return area;
  }
  return std::nullopt;
}

uint64_t RescueMap::bytes(Status status) const {
  uint64_t total = 0;
  for (const Area& area : areas_)
    if (area.status == status) total += area.size;
  return total;
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
  for (const Area& area : map.areas()) {
    std::snprintf(line, sizeof line, "0x%08" PRIX64 "  0x%08" PRIX64 "  %c\n", area.pos, area.size,
                  static_cast<char>(area.status));
    text += line;
  }
  return text;
}

std::optional<RescueMap> parse_map(std::string_view text, std::string& error) {
  std::optional<RescueMap> map;
  bool have_current = false;
  uint64_t current_pos = 0;
  Phase phase = Phase::copying;
  int pass = 1;
  std::vector<Area> areas;
  int line_number = 0;
  while (!text.empty()) {
    const std::size_t cut = text.find('\n');
    const std::string_view line = text.substr(0, cut);
    text.remove_prefix(cut == std::string_view::npos ? text.size() : cut + 1);
    ++line_number;
    const std::vector<std::string_view> w = words(line);
    if (w.empty() || w.front().front() == '#') continue;
    const std::string where = "line " + std::to_string(line_number);
    if (!have_current) {
      const std::optional<uint64_t> pos = number(w[0]);
      if (!pos || w.size() < 2 || w.size() > 3 || w[1].size() != 1) {
        error = where + ": not a mapfile's current position";
        return std::nullopt;
      }
      current_pos = *pos;
      phase = phase_of(w[1][0]);
      if (w.size() == 3) {
        const std::optional<uint64_t> p = number(w[2]);
        if (!p || *p == 0 || *p > 1000) {
          error = where + ": not a pass number";
          return std::nullopt;
        }
        pass = static_cast<int>(*p);
      }
      have_current = true;
      continue;
    }
    const std::optional<uint64_t> pos = number(w[0]);
    const std::optional<uint64_t> size = w.size() == 3 ? number(w[1]) : std::nullopt;
    if (!pos || !size || w[2].size() != 1 || !valid_status(w[2][0]) || *size == 0) {
      error = where + ": not an area (pos size status)";
      return std::nullopt;
    }
    const uint64_t expected = areas.empty() ? 0 : areas.back().end();
    if (*pos != expected || *pos + *size < *pos) {
      error = where + ": areas leave a gap or overlap";
      return std::nullopt;
    }
    areas.push_back({*pos, *size, static_cast<Status>(w[2][0])});
  }
  if (!have_current) {
    error = "no current position line: not a mapfile";
    return std::nullopt;
  }
  map.emplace(areas.empty() ? 0 : areas.back().end());
  for (const Area& area : areas) map->set(area.pos, area.size, area.status);
  map->current_pos = current_pos;
  map->phase = phase;
  map->pass = pass;
  return map;
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
