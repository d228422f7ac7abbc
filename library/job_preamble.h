// The steps every job starts with: finding the disk, then opening the image
// file and the drive, which stay open for the job's length.
#pragma once

#include <memory>
#include <string>

#include "geometry.h"
#include "job_request.h"
#include "platform/platform.h"

namespace tessil {

// The drive of a job, as its own query found it.
struct JobDrive {
  DriveInfo info;
  std::string device_path;  // opened by this job, whatever another query does
  bool found = false;
  platform::Error reason = platform::Error::none;
  // The query and every opening of the drive go through this: the
  // request's, or the job's own.
  platform::DriveSession* session = nullptr;
  std::unique_ptr<platform::DriveSession> own_session;
};

// `widest`: the most that the job asks of the drive.
JobDrive find_job_drive(const JobRequest& request,
                        platform::DriveAccess widest = platform::DriveAccess::read);

// Traces whether the query found a disk; false when it did not.
bool has_disk(const JobDrive& drive);

// What a job holds open. Both are closed on every way out of the job, the
// image file first, then the drive.
struct JobHandles {
  std::unique_ptr<platform::ImageFile> image;
  std::unique_ptr<platform::Drive> disk;

  JobHandles() = default;
  JobHandles(const JobHandles&) = delete;
  JobHandles& operator=(const JobHandles&) = delete;
  ~JobHandles();

  // Opens the request's image file: never a path cut to fit its field, and
  // never the job's drive itself. False, traced, when it cannot be opened.
  bool open_image(const JobRequest& request, const JobDrive& drive, platform::ImageMode mode,
                  platform::Error& error);
  // Opens the drive behind the job's own device path for what the job does
  // with it; false, traced, when it cannot be opened.
  bool open_drive(const JobDrive& drive, platform::DriveAccess access, platform::Error& error);
};

// Whether the open image describes the job's disk: a tessil image by the
// geometry in its header, a raw image (the request says which) by its size,
// which must be that of the disk's own standard format. JOB_OK, with the
// image positioned at its first data byte, JOB_HEADER_READ_FAILED or
// JOB_GEOMETRY_MISMATCH.
JobOutcome match_image_to_drive(platform::ImageFile& image, const JobRequest& request,
                                const JobDrive& drive);

}  // namespace tessil
