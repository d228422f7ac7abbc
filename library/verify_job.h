// The verify job: the disk in a drive compared with an image file, sector
// by sector, reading the medium itself (a track or more at a time) rather
// than any cached copy of it.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry.h"
#include "job_request.h"
#include "standard_formats.h"
#include "verify_texts.h"

namespace tessil {

struct VerifyOutcome {
  // JOB_OK when every sector matched, outcome::verify_failed, or why the compare
  // could not be made: JOB_NO_MEDIA, JOB_IMAGE_OPEN_FAILED,
  // JOB_HEADER_READ_FAILED, JOB_GEOMETRY_MISMATCH, JOB_DRIVE_OPEN_FAILED,
  // JOB_SHORT_READ (the drive failed a read) or JOB_CANCELLED.
  JobOutcome outcome;
  uint64_t sectors = 0;            // compared
  uint64_t differing_sectors = 0;  // of those, how many differ
  std::vector<SectorAddress> first_differences;
  DriveInfo drive;
};

// Counts one more sector compared, the same or not; the first few that
// differ are kept by their address on a disk of this geometry. Every
// verify counts this way, of a disk or of an image read back from it.
void count_sector(VerifyOutcome& result, bool same, uint32_t heads, uint32_t sectors_per_track);

// The request names the drive and the image (raw_image for a raw one);
// checksums are of the data read back from the disk.
VerifyOutcome run_verify_job(const JobRequest& request, JobSink& sink);

}  // namespace tessil
