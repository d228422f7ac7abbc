// What a rescue's map says about the disk, in the disk's own terms: which
// sectors stayed unread, where they sit (cylinder, head, sector) and a
// picture of every track.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geometry.h"
#include "rescue/rescue_map.h"

namespace tessil::rescue {

struct Chs {
  uint32_t cylinder = 0;
  uint32_t head = 0;
  uint32_t sector = 0;  // from 1, as on the track
};

Chs chs_of(const DriveInfo& info, uint64_t sector);

// A sector's state as the report counts it.
enum class SectorState { good, bad, untried };

SectorState state_of(Status status);

struct SectorCounts {
  uint64_t good = 0;
  uint64_t bad = 0;
  uint64_t untried = 0;
};

SectorCounts count_sectors(const RescueMap& map, uint64_t sector_size);

// The numbers of the sectors in `state`, in order; the first `limit`.
std::vector<uint64_t> sectors_in(const RescueMap& map, uint64_t sector_size, SectorState state,
                                 std::size_t limit = SIZE_MAX);

// A floppy's picture: one line per cylinder, each head's track side by
// side, one character per sector: '.' good, 'X' bad, '?' not tried. A
// larger disk's: at most picture_rows lines of picture_columns characters,
// each for a run of sectors, 'X' where one of them is bad, else '?' where
// one is not tried. Ends with a legend line.
std::string track_picture(const RescueMap& map, const DriveInfo& info);
// A floppy's picture in a few lines: one character per track, cylinders
// across, one row per head ('X' a bad sector on it, else '?' one not
// tried, else '.'). A larger disk's as track_picture() gives it.
std::string compact_picture(const RescueMap& map, const DriveInfo& info);

// Where the rescue is, in words: "reading", "trimming", "retry 1 of 2"...
// `retries`: the passes over bad sectors it makes at most.
std::string pass_words(const RescueMap& map, int retries);

inline constexpr uint64_t picture_rows = 64;
inline constexpr uint64_t picture_columns = 64;

}  // namespace tessil::rescue
