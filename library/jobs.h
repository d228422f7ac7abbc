// The two job bodies. Each runs on the worker, works from job_state() and
// returns a result code.
#pragma once

#include <cstdint>

namespace tessil {

// The whole disk in driveint into a new image file at imagefileint.
int32_t read_job();

// The image file at imagefileint onto the disk in driveint.
int32_t write_job();

}  // namespace tessil
