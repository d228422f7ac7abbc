#include "rescue/map_reader.h"

#include <algorithm>
#include <array>
#include <charconv>

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

Status least_along(Status a, Status b) {
  // A sector of several states takes the least advanced, so that what is
  // not wholly rescued is read again.
  return RescueMap::index(a) <= RescueMap::index(b) ? a : b;
}

// A number as ddrescue writes it, or in any base strtoull reads (0x..., 0...,
// decimal); nothing for a number too large for 64 bits.
std::optional<uint64_t> number(std::string_view word) {
  int base = 10;
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    base = 16;
    word.remove_prefix(2);
  } else if (word.size() > 1 && word[0] == '0') {
    base = 8;
    word.remove_prefix(1);
  }
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, base);
  if (error != std::errc() || end != word.data() + word.size() || word.empty()) return std::nullopt;
  return value;
}

bool blank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// The first four words of a line, and how many there are (four meaning
// four or more).
struct Words {
  std::array<std::string_view, 4> word;
  std::size_t count = 0;
};

Words words(std::string_view line) {
  Words out;
  std::size_t i = 0;
  while (i < line.size() && out.count < out.word.size()) {
    while (i < line.size() && blank(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !blank(line[i])) ++i;
    if (i > start) out.word[out.count++] = line.substr(start, i - start);
  }
  return out;
}

}  // namespace

MapReader::MapReader(uint64_t sector_size, uint64_t max_size)
    : sector_size_(std::max<uint64_t>(sector_size, 1)), max_size_(max_size) {}

bool MapReader::fail(const std::string& why) {
  if (error_.empty()) error_ = "line " + std::to_string(line_number_) + ": " + why;
  return false;
}

bool MapReader::feed(std::string_view piece) {
  if (!error_.empty()) return false;
  while (!piece.empty()) {
    const std::size_t cut = piece.find('\n');
    const std::string_view part = piece.substr(0, cut);
    if (partial_.size() + part.size() > max_line) {
      ++line_number_;
      return fail("longer than " + std::to_string(max_line) + " characters");
    }
    if (cut == std::string_view::npos) {
      partial_.append(part);
      return true;
    }
    piece.remove_prefix(cut + 1);
    if (partial_.empty()) {
      if (!line(part)) return false;
    } else {
      partial_.append(part);
      const bool taken = line(partial_);
      partial_.clear();
      if (!taken) return false;
    }
  }
  return true;
}

bool MapReader::line(std::string_view text) {
  ++line_number_;
  const Words w = words(text);
  if (w.count == 0 || w.word[0].front() == '#') return true;
  if (!have_current_) {
    const std::optional<uint64_t> pos = number(w.word[0]);
    if (!pos || w.count < 2 || w.count > 3 || w.word[1].size() != 1)
      return fail("not a mapfile's current position");
    current_pos_ = *pos;
    phase_ = phase_of(w.word[1][0]);
    if (w.count == 3) {
      const std::optional<uint64_t> p = number(w.word[2]);
      if (!p || *p == 0 || *p > 1000) return fail("not a pass number");
      pass_ = static_cast<int>(*p);
    }
    have_current_ = true;
    return true;
  }
  const std::optional<uint64_t> pos = number(w.word[0]);
  const std::optional<uint64_t> size = w.count == 3 ? number(w.word[1]) : std::nullopt;
  if (!pos || !size || w.word[2].size() != 1 || !valid_status(w.word[2][0]) || *size == 0)
    return fail("not an area (pos size status)");
  return area(*pos, *size, static_cast<Status>(w.word[2][0]));
}

bool MapReader::area(uint64_t pos, uint64_t size, Status status) {
  if (pos != end_) return fail("areas leave a gap or overlap");
  if (size > max_size_ - pos)
    return fail("an area reaches past the disk's end, byte " + std::to_string(max_size_) +
                ": the map is of a larger disk");
  const uint64_t first = pos / sector_size_;
  const uint64_t last = (pos + size - 1) / sector_size_;
  // A sector that an earlier area began is shared with it.
  if (pos % sector_size_ != 0) sectors_[first] = least_along(sectors_[first], status);
  sectors_.resize(last + 1, status);
  end_ = pos + size;
  return true;
}

std::optional<RescueMap> MapReader::finish() {
  if (!partial_.empty()) {
    const std::string rest = std::move(partial_);
    partial_.clear();
    line(rest);
  }
  if (!error_.empty()) return std::nullopt;
  if (!have_current_) {
    error_ = "no current position line: not a mapfile";
    return std::nullopt;
  }
  // The bytes of the last sector past the map's end were never tried.
  if (end_ % sector_size_ != 0) sectors_.back() = least_along(sectors_.back(), Status::non_tried);
  RescueMap map(std::move(sectors_), sector_size_);
  map.current_pos = std::min(current_pos_, map.size());
  map.phase = phase_;
  map.pass = pass_;
  return map;
}

std::optional<RescueMap> parse_map(std::string_view text, uint64_t sector_size, uint64_t max_size,
                                   std::string& error) {
  MapReader reader(sector_size, max_size);
  reader.feed(text);
  std::optional<RescueMap> map = reader.finish();
  error = reader.error();
  return map;
}

}  // namespace tessil::rescue
