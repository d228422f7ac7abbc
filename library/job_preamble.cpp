#include "job_preamble.h"

#include "trace.h"

namespace tessil {

JobDrive find_job_drive(const JobRequest& request) {
  JobDrive drive;
  drive.found =
      query_drive(request.drive.c_str(), drive.info, drive.device_path, &drive.reason) != 0;
  return drive;
}

bool has_disk(const JobDrive& drive) {
  trace(drive.found ? "has disk in drive \n" : "donot has disk in drive \n");
  return drive.found;
}

bool JobHandles::open_image(const JobRequest& request, const JobDrive& drive,
                            platform::ImageMode mode, platform::Error& error) {
  platform::Platform& os = platform::current();
  if (!request.image_whole || os.is_drive(drive.device_path, request.image.c_str())) {
    error = platform::Error::other;
  } else {
    image = os.open_image(request.image.c_str(), mode, error);
  }
  if (!image) trace("The file was not opened\n");
  return image != nullptr;
}

bool JobHandles::open_drive(const JobDrive& drive, platform::DriveAccess access,
                            platform::Error& error) {
  disk = platform::current().open_drive(drive.device_path, access, error);
  if (!disk) trace("unable to open drive to read \n");
  return disk != nullptr;
}

JobHandles::~JobHandles() {
  if (image) {
    trace("closing file \n");
    image.reset();
  }
  if (disk) {
    disk.reset();
    trace("Closing floppy \n");
  }
}

}  // namespace tessil
