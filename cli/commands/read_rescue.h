// `read DRIVE IMAGE --rescue`: the read command's rescue mode. Every sector
// that can still be read goes into the image, a GNU ddrescue mapfile beside
// it says which could not, and the same command again reads only what is
// missing. A raw image with its map is GNU ddrescue's own pair: either
// program goes on with what the other left.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "image_kind.h"
#include "outcomes.h"
#include "rescue/rescue_job.h"

namespace tessil::app {
struct ReadReport;
}

namespace tessil::cli {

// The rescue went through and some sectors are still not rescued.
inline constexpr int exit_sectors_missing = exit_status_of(outcome::sectors_missing);

struct RescueOptions {
  bool rescue = false;
  int retries = 2;
  std::string fill = "zero";  // or "marker"
  std::string map;            // empty: IMAGE.map
  KindFlags kind;             // as given; read_rescue decides `raw` from them
  bool raw = false;           // the image is raw: GNU ddrescue's own kind
  bool afresh = false;        // --force: image, map and report replaced
  bool picture = false;       // --picture: every sector in the summary's picture
};

// Adds --rescue to the read command, and the options that only go with it.
void add_rescue_options(CLI::App& read, RescueOptions& options);

// Runs the rescue with its progress on standard error. A report, begun
// before, learns the sectors that stayed bad and the retry passes made.
// `session`: the drive as the command holds it, if it does.
rescue::RescueOutcome rescue_disk(char letter, const std::string& image, const std::string& label,
                                  const RescueOptions& options, bool progress,
                                  app::ReadReport* report,
                                  platform::DriveSession* session = nullptr);

// Says on standard error why a rescue failed: of the map, with what is
// wrong with it, when the map is at fault. Returns the exit status.
int report_rescue_failure(const rescue::RescueOutcome& out, const std::string& drive,
                          const std::string& image);

// Runs the rescue and reports it, with the report IMAGE.json unless
// `no_report`; returns the exit status: 0 when every sector is rescued,
// exit_sectors_missing when some are not, else as a plain read fails.
int read_rescue(char letter, const std::string& image, const std::string& label,
                const RescueOptions& options, bool progress, bool json, bool no_report = false);

}  // namespace tessil::cli
