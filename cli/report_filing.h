// The archival report as the command line files it: ended, written beside
// its image, and each failure of its own told on standard error.
#pragma once

#include <cstdint>

#include "app/read_report.h"

namespace tessil::cli {

// Ends the report with the job's `code` and returns the code it records;
// a file that holds other data than were read is told here.
int32_t end_and_tell(app::ReadReport& report, int32_t code);

// Ends and writes the report of a read whose job ended with `code`, whose
// exit status is `status`. A report that cannot be written is a failure
// of its own: its message goes to standard error, and a read that was done
// ends with that failure's status instead.
int file_report(app::ReadReport& report, int32_t code, bool replace, int status);

}  // namespace tessil::cli
