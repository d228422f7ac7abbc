// A verify of a disk through an image read back from it: the data of the
// tessil image that was written compared, sector by sector, with the data
// of the tessil image read back, counted and told as every verify is.
#pragma once

#include <string>

#include "verify_job.h"

namespace tessil::app {

// JOB_OK when every sector matches, outcome::verify_failed when some
// differ (a sector either side lacks differs too), or
// JOB_HEADER_READ_FAILED when either file cannot be read through. The
// addresses follow the geometry in the header read back.
VerifyOutcome compare_image_data(const std::string& written, const std::string& read_back);

}  // namespace tessil::app
