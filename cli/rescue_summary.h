// What a rescue that ran says on standard output: the sectors rescued and
// missing, a picture of the disk and what the missing sectors hit on a FAT
// volume; as text, or as one JSON document shaped like the other
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
  int32_t code = 0;  // the result, as the image's report records it
};

// Sectors listed by number, at most: the map lists them all.
inline constexpr std::size_t listed_sectors_text = 100;
inline constexpr std::size_t listed_sectors_json = 1000;

void print_rescue_text(const RescueSummary& summary);
app::Json rescue_json(const RescueSummary& summary);

}  // namespace tessil::cli
