// What a rescue that ran says on standard output: the sectors rescued and
// missing, its time and the data's checksums, a picture of the disk (a
// floppy's fits an 80 x 24 terminal with the rest) and what the missing
// sectors hit on a FAT volume; as text, or as one JSON document shaped like the other
// commands' (the result as "code", the drive as its letter).
#pragma once

#include <cstdint>
#include <string>

#include "json_output.h"
#include "rescue/fat_damage.h"
#include "rescue/rescue_job.h"

namespace tessil::cli {

struct RescueSummary {
  const rescue::RescueOutcome& out;
  const rescue::FatDamage& fat;
  char letter = 0;
  std::string drive;  // as drive_text() gives it
  std::string image;
  int32_t code = 0;      // the result, as the image's report records it
  double seconds = 0;    // this run's
  Checksums sums;        // of the data the image holds, read back; empty when unknown
  bool picture = false;  // every sector pictured, not a character per track
};

// Sectors listed by number, at most: the map lists them all.
inline constexpr std::size_t listed_sectors_text = 100;  // with the full picture
inline constexpr std::size_t listed_sectors_compact = 24;
inline constexpr std::size_t listed_sectors_json = 1000;

void print_rescue_text(const RescueSummary& summary);
app::Json rescue_json(const RescueSummary& summary);

}  // namespace tessil::cli
