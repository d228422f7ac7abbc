// The two jobs. Each runs on the caller's thread, reports to its sink and
// ends with a result code.
#pragma once

#include <cstdint>

#include "job_request.h"

namespace tessil {

// The whole disk in the request's drive into a new image file.
JobOutcome run_read_job(const JobRequest& request, JobSink& sink);

// The request's image file onto the disk in its drive.
JobOutcome run_write_job(const JobRequest& request, JobSink& sink);

// The job bodies of readdisk and writedisk: the job that job_state()
// describes, reporting to it.
int32_t read_job();
int32_t write_job();

}  // namespace tessil
