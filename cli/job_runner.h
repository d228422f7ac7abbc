// Runs one engine job on a worker thread while this thread shows its
// progress and turns Ctrl-C or SIGTERM into the job's cancel.
#pragma once

#include <cstdint>
#include <functional>

#include "job_request.h"
#include "progress_display.h"

namespace tessil::cli {

using JobFunction = std::function<JobOutcome(const JobRequest&, JobSink&)>;

struct JobRun {
  JobOutcome outcome;
  uint64_t done = 0;   // bytes moved
  uint64_t total = 0;  // bytes on the disk
  double seconds = 0;
};

// Returns once the job has stopped, whatever stopped it.
JobRun run_job(JobFunction job, const JobRequest& request, ProgressDisplay& display);

}  // namespace tessil::cli
