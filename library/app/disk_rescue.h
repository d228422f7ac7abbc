// A planned rescue run through, as both front ends run it: the drive held
// for the report's look and the rescue alike, the rescue's passes, then
// what its missing sectors hit on a FAT volume, the data's checksums read
// back and the report, ready to be ended and written.
#pragma once

#include <cstdint>
#include <optional>

#include "app/file_digest.h"
#include "app/read_report.h"
#include "app/rescue_plan.h"
#include "rescue/fat_damage.h"
#include "rescue/rescue_job.h"

namespace tessil::app {

// The rescue's own request for a planned one.
rescue::RescueRequest rescue_request_of(const DiskRescueRequest& request, const RescuePlan& plan);

// Runs the rescue. A report, begun before, learns the sectors that stayed
// bad and the retry passes made. `session`: the drive as the caller holds
// it, if it does.
rescue::RescueOutcome run_rescue(const rescue::RescueRequest& request, rescue::RescueSink& sink,
                                 ReadReport* report, platform::DriveSession* session);

// The code a report records for a rescue that ran: 104 while sectors are
// missing, the job's code otherwise.
int32_t rescue_result(const rescue::RescueOutcome& out);

struct DiskRescue {
  rescue::RescueOutcome out;
  int32_t result = 0;     // as rescue_result() gives it
  double seconds = 0;     // this run's
  rescue::FatDamage fat;  // examined only when sectors are missing
  // Of the data the image holds, read back; nothing for a stopped or
  // failed run.
  std::optional<FileDigests> digests;
  // Begun when the request asks for a report and the rescue ran; the caller
  // ends and writes it (end_report, write_report).
  std::optional<ReadReport> report;

  // The image and its map are there and agree: there is something to show.
  bool ran() const {
    return out.in_place && (out.job.code == JOB_OK || out.job.code == JOB_CANCELLED);
  }
};

DiskRescue rescue_disk(const DiskRescueRequest& request, const RescuePlan& plan,
                       rescue::RescueSink& sink);

}  // namespace tessil::app
