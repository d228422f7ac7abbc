// One disk of a batch, read plainly or rescued: what the batch prints, logs
// and reports of it.
#pragma once

#include <cstdint>
#include <string>

#include "app/drive_facts.h"
#include "app/read_report.h"
#include "commands/read_rescue.h"
#include "exit_status.h"

namespace tessil::cli {

// One disk's read as the batch sees it.
struct DiskRead {
  int32_t code = 0;      // the job's
  int32_t recorded = 0;  // what the report and the log say
  int status = exit_ok;  // the exit status this disk asks for
  std::string amount;    // "1474560 of 1474560 bytes", "2875 of 2880 sectors rescued"
};

// Reads the disk in `letter` into `image`, a raw image when `raw`.
DiskRead read_one(char letter, const std::string& image, const std::string& label, bool raw,
                  bool progress, const app::DriveFacts& drive, app::ReadReport& report,
                  platform::DriveSession* session = nullptr);

// Rescues the disk in `letter` into `image`, with its map IMAGE.map.
DiskRead rescue_one(char letter, const std::string& image, const std::string& label,
                    const RescueOptions& options, bool progress, const app::DriveFacts& drive,
                    app::ReadReport& report, platform::DriveSession* session = nullptr);

}  // namespace tessil::cli
