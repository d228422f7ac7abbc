#include "rescue_summary.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <vector>

#include "describe.h"
#include "progress_display.h"
#include "rescue/rescue_report.h"
#include "text_output.h"

namespace tessil::cli {

namespace {

using rescue::SectorState;

uint64_t sector_size(const RescueSummary& s) {
  return uint64_t(std::max(s.out.drive.bytes_per_sector, 1));
}

std::string chs_text(const DriveInfo& info, uint64_t sector) {
  const rescue::Chs chs = rescue::chs_of(info, sector);
  return std::to_string(chs.cylinder) + "/" + std::to_string(chs.head) + "/" +
         std::to_string(chs.sector);
}

void print_fat(const rescue::FatDamage& fat) {
  if (!fat.examined) {
    if (!fat.problem.empty()) std::printf("Files not named: %s\n", printable(fat.problem).c_str());
    return;
  }
  std::printf("%s volume: boot sector %s, FAT %s, root directory %s\n", fat.type.c_str(),
              fat.boot_sector ? "HIT" : "intact", fat.fat ? "HIT" : "intact",
              fat.root_directory ? "HIT" : "intact");
  if (fat.files_through_second_fat)
    std::printf("Files followed through the second FAT, the first being hit.\n");
  for (const std::string& file : fat.files) std::printf("Damaged: %s\n", printable(file).c_str());
  for (const std::string& what : fat.not_named)
    std::printf("Not named: %s\n", printable(what).c_str());
  if (fat.files.empty() && fat.not_named.empty())
    std::printf("No file's data lie on the missing sectors.\n");
}

app::Json sectors_json(const RescueSummary& s, SectorState state) {
  app::Json sectors = app::Json::array();
  for (const uint64_t sector :
       rescue::sectors_in(s.out.map, sector_size(s), state, listed_sectors_json)) {
    const rescue::Chs chs = rescue::chs_of(s.out.drive, sector);
    sectors.push_back(app::Json{{"sector", sector},
                                {"cylinder", chs.cylinder},
                                {"head", chs.head},
                                {"sector_in_track", chs.sector}});
  }
  return sectors;
}

}  // namespace

void print_rescue_text(const RescueSummary& s) {
  const rescue::RescueOutcome& out = s.out;
  const rescue::SectorCounts counts = rescue::count_sectors(out.map, sector_size(s));
  std::printf("%s %s into %s: %" PRIu64 " of %" PRIu64 " sectors rescued, %" PRIu64 " bad, %" PRIu64
              " not tried\n",
              out.job.code == JOB_CANCELLED ? "Stopped:" : "Done:", printable(s.drive).c_str(),
              printable(s.image).c_str(), counts.good, out.map.sectors(), counts.bad,
              counts.untried);
  std::printf("Elapsed:   %s\n", clock_text(s.seconds).c_str());
  print_checksums(s.sums);
  if (!out.map.complete())
    std::fputs(s.picture ? rescue::track_picture(out.map, out.drive).c_str()
                         : rescue::compact_picture(out.map, out.drive).c_str(),
               stdout);
  const std::vector<uint64_t> bad =
      rescue::sectors_in(out.map, sector_size(s), SectorState::bad,
                         s.picture ? listed_sectors_text : listed_sectors_compact);
  if (!bad.empty()) {
    std::string line = "Bad sectors (cylinder/head/sector):";
    for (const uint64_t sector : bad)
      line += " " + std::to_string(sector) + " (" + chs_text(out.drive, sector) + ")";
    if (counts.bad > bad.size())
      line += " and " + std::to_string(counts.bad - bad.size()) + " more, all in the map";
    std::printf("%s\n", line.c_str());
  }
  if (!out.map.complete()) print_fat(s.fat);
  std::printf("Map: %s\n", printable(out.map_path).c_str());
  if (!out.map.complete())
    std::printf(
        "The same command again (after cleaning the disk, or in another drive) tries "
        "only the missing sectors.\n");
}

app::Json rescue_json(const RescueSummary& s) {
  const rescue::RescueOutcome& out = s.out;
  const rescue::SectorCounts counts = rescue::count_sectors(out.map, sector_size(s));
  app::Json json{{"code", s.code},
                 {"drive", std::string(1, s.letter)},
                 {"image", s.image},
                 {"map", out.map_path},
                 {"label", out.label},
                 {"resumed", out.resumed},
                 {"complete", out.map.complete()},
                 {"geometry", app::geometry_json(header_of(out.drive))},
                 {"sectors", out.map.sectors()},
                 {"rescued_sectors", counts.good},
                 {"bad_sector_count", counts.bad},
                 {"not_tried_sector_count", counts.untried},
                 {"bad_sectors", sectors_json(s, SectorState::bad)},
                 {"not_tried_sectors", sectors_json(s, SectorState::untried)},
                 {"seconds", s.seconds},
                 {"sha256", s.sums.sha256},
                 {"md5", s.sums.md5}};
  const rescue::FatDamage& fat = s.fat;
  if (fat.examined) {
    json["fat"] = app::Json{{"type", fat.type},
                            {"boot_sector_hit", fat.boot_sector},
                            {"fat_hit", fat.fat},
                            {"root_directory_hit", fat.root_directory},
                            {"files_through_second_fat", fat.files_through_second_fat},
                            {"damaged_files", fat.files},
                            {"not_named", fat.not_named}};
  } else if (!fat.problem.empty()) {
    json["fat"] = app::Json{{"problem", fat.problem}};
  }
  return json;
}

}  // namespace tessil::cli
