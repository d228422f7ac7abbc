// The rescue map: for every byte of a disk, whether it was rescued, failed
// or is still to be tried, kept as a list of areas and stored as a GNU
// ddrescue mapfile so that ddrescuelog and map viewers read it and a run
// goes on where the last one stopped.
#pragma once

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
  // A disk of `size` bytes that nobody has tried yet.
  explicit RescueMap(uint64_t size);

  uint64_t size() const { return size_; }
  // In order, without gaps or overlaps, neighbours never of one status.
  const std::vector<Area>& areas() const { return areas_; }

  // Gives [pos, pos + size) the status, within the disk.
  void set(uint64_t pos, uint64_t size, Status status);
  // Makes the disk `size` bytes long; new bytes are non-tried.
  void extend_to(uint64_t size);
  Status status_at(uint64_t pos) const;
  // The first area of `status` that ends after `from`, cut to start at
  // `from` at the earliest.
  std::optional<Area> next(Status status, uint64_t from) const;
  uint64_t bytes(Status status) const;
  bool complete() const { return bytes(Status::rescued) == size_; }

  uint64_t current_pos = 0;
  Phase phase = Phase::copying;
  int pass = 1;

 private:
  uint64_t size_ = 0;
  std::vector<Area> areas_;
};

// The comment lines above a map: who wrote it, for which command, when.
struct MapNotes {
  std::string command_line;
  std::string start_time;  // "2024-05-01 10:00:00"
  std::string current_time;
};

// The mapfile text: comments, the current position line, then one line per
// area, as ddrescue writes them.
std::string format_map(const RescueMap& map, const MapNotes& notes);

// Reads a mapfile, from tessil or from ddrescue itself. Nothing, with a
// reason in `error`, when it is not one or its areas leave gaps or overlap.
std::optional<RescueMap> parse_map(std::string_view text, std::string& error);

// The local time as mapfiles write it.
std::string map_time_now();

}  // namespace tessil::rescue
