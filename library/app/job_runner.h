// Runs one engine job on a worker thread while this thread shows its
// progress and turns Ctrl-C or SIGTERM into the job's cancel. Where the
// progress is shown is the front end's affair.
#pragma once

#include <cstdint>
#include <functional>

#include "job_request.h"

namespace tessil::app {

using JobFunction = std::function<JobOutcome(const JobRequest&, JobSink&)>;

// Where a running job's progress is shown, from the thread that started it.
class ProgressView {
 public:
  virtual ~ProgressView() = default;
  // The state `seconds` after the start; called about ten times a second.
  virtual void update(uint64_t done, uint64_t total, double seconds) = 0;
  // The final state, once the job has stopped.
  virtual void finish(uint64_t done, uint64_t total, double seconds) = 0;
};

struct JobRun {
  JobOutcome outcome;
  uint64_t done = 0;   // bytes moved
  uint64_t total = 0;  // bytes on the disk
  double seconds = 0;
};

// Returns once the job has stopped, whatever stopped it.
JobRun run_job(JobFunction job, const JobRequest& request, ProgressView& display);

}  // namespace tessil::app
