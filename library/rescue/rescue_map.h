// The rescue map: for every sector of a disk, whether it was rescued,
// failed or is still to be tried, stored as a GNU ddrescue mapfile so that
// ddrescuelog and map viewers read it and a run goes on where the last one
// stopped. A sector is one state: each change and look is quick however
// scattered the states are.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessil::rescue {

// An area's state, written as the mapfile's status character.
enum class Status : char {
  non_tried = '?',
  non_trimmed = '*',  // failed in a large read; its edges are still to be tried
  non_scraped = '/',  // between the bad edges of a failed area
  bad = '-',          // failed sector by sector
  rescued = '+',
};

// Where the rescue is, written as the mapfile's current status.
enum class Phase : char {
  copying = '?',
  trimming = '*',
  scraping = '/',
  retrying = '-',
  finished = '+',
};

struct Area {
  uint64_t pos = 0;
  uint64_t size = 0;
  Status status = Status::non_tried;

  uint64_t end() const { return pos + size; }
  bool operator==(const Area&) const = default;
};

class RescueMap {
 public:
  RescueMap() = default;
  // A disk of `size` bytes, in whole sectors of `sector_size`, that nobody
  // has tried yet.
  explicit RescueMap(uint64_t size, uint64_t sector_size = 512);
  // A disk whose sectors are in `sectors`.
  RescueMap(std::vector<Status> sectors, uint64_t sector_size);

  uint64_t size() const { return sectors_.size() * sector_size_; }
  uint64_t sector_size() const { return sector_size_; }
  uint64_t sectors() const { return sectors_.size(); }

  // Runs of one status, in order, without gaps; neighbours never of one
  // status. Built on each call: for a look, not for a loop.
  std::vector<Area> areas() const;
  // Calls `visit(area)` for each of those runs.
  template <class Visit>
  void each_area(Visit&& visit) const;

  // Gives every sector that [pos, pos + size) touches the status, within
  // the disk.
  void set(uint64_t pos, uint64_t size, Status status);
  // Makes the disk `size` bytes long; new sectors are non-tried.
  void extend_to(uint64_t size);
  Status status_at(uint64_t pos) const;
  // The first run of `status` that ends after `from`, cut to start at
  // `from` at the earliest and to be at most `limit` bytes long.
  std::optional<Area> next(Status status, uint64_t from, uint64_t limit = UINT64_MAX) const;
  uint64_t bytes(Status status) const { return counts_[index(status)] * sector_size_; }
  bool complete() const { return counts_[index(Status::rescued)] == sectors_.size(); }

  uint64_t current_pos = 0;
  Phase phase = Phase::copying;
  int pass = 1;

  // How far along a state is, from not tried (0) to rescued (4); also its
  // place among the counts.
  static std::size_t index(Status status);

 private:
  uint64_t sector_size_ = 512;
  std::vector<Status> sectors_;
  std::array<uint64_t, 5> counts_{};  // sectors by status
};

template <class Visit>
void RescueMap::each_area(Visit&& visit) const {
  for (std::size_t first = 0; first < sectors_.size();) {
    std::size_t last = first + 1;
    while (last < sectors_.size() && sectors_[last] == sectors_[first]) ++last;
    visit(Area{first * sector_size_, (last - first) * sector_size_, sectors_[first]});
    first = last;
  }
}

// The comment lines above a map: who wrote it, for which command, when.
struct MapNotes {
  std::string command_line;
  std::string start_time;  // "2024-05-01 10:00:00"
  std::string current_time;
};

// The mapfile text: comments, the current position line, then one line per
// area, as ddrescue writes them.
std::string format_map(const RescueMap& map, const MapNotes& notes);

// Reads a mapfile, from tessil or from ddrescue itself, into sectors of
// `sector_size`; a map is anybody's file, so one that reaches past
// `max_size` bytes is refused before it costs memory. A sector is rescued
// only when all its bytes are; one with bytes of several states takes the
// state of those least far along. Nothing, with a reason in `error` ("line
// 3: ..."), when it is not a map or its areas leave gaps or overlap. See
// map_reader.h to read one piece by piece.
std::optional<RescueMap> parse_map(std::string_view text, uint64_t sector_size, uint64_t max_size,
                                   std::string& error);

// The local time as mapfiles write it.
std::string map_time_now();

}  // namespace tessil::rescue
