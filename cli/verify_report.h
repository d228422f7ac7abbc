// The verify that follows a write and the verify command: the disk read
// back from the medium and compared with the image, and what is said about
// it.
#pragma once

#include <string>

#include "job_request.h"
#include "json_output.h"
#include "verify_job.h"

namespace tessil::cli {

struct VerifyRun {
  VerifyOutcome outcome;
  double seconds = 0;
};

// Runs the verify with the progress display and Ctrl-C as a copy has them.
VerifyRun run_verify(const JobRequest& request, bool progress);

// Prints what the verify found (a difference and a failure on standard
// error) and returns the exit status: 0, 3 for differing sectors, 104 when
// the drive failed a read, or the job's other result code.
int report_verify(const VerifyRun& run, const std::string& drive, const std::string& image);

app::Json verify_json(const VerifyRun& run);

}  // namespace tessil::cli
