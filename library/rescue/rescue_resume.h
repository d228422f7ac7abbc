// How a rescue goes on from the image an earlier run left: its header and
// size checked against the drive, a sample of its rescued sectors read
// again from the disk, and what is not rescued given this run's fill. With
// the few steps that the rescue's start and its resume share.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "job_preamble.h"
#include "rescue/rescue_job.h"

namespace tessil::rescue {

// Sectors of a fill written between two looks at a stop request.
inline constexpr uint64_t stop_check_sectors = 64;

// Ends the start with `code`; always false.
inline bool fail(RescueOutcome& out, int32_t code, platform::Error reason,
                 std::string problem = {}) {
  out.job.code = code;
  out.job.reason = reason;
  out.problem = std::move(problem);
  return false;
}

// True, with JOB_CANCELLED, once a stop was asked for.
inline bool stopped(RescueSink& sink, RescueOutcome& out) {
  if (!sink.cancel_requested()) return false;
  fail(out, JOB_CANCELLED, platform::Error::none);
  return true;
}

// Opens the earlier run's image and makes it this run's. False, with
// out.job and out.problem, when it is not this disk's or cannot be used.
bool resume_image(const RescueRequest& request, const JobDrive& drive, RescueOutcome& out,
                  JobHandles& handles, RescueSink& sink);

}  // namespace tessil::rescue
