// What a job holds open. Both are closed on every way out of the job, the
// image file first, then the drive.
#pragma once

#include <memory>
#include <string>

#include "image_format.h"
#include "platform/platform.h"
#include "text_field.h"
#include "trace.h"

namespace tessil {

// An image path a job may open: whole (not cut to fit its field) and not
// the job's drive itself.
inline bool usable_image_path(const TextField& path, const std::string& device_path) {
  return !path.overflowed() && !platform::current().is_drive(device_path, path.c_str());
}

struct JobHandles {
  File image;
  std::unique_ptr<platform::Drive> disk;

  JobHandles() = default;
  JobHandles(const JobHandles&) = delete;
  JobHandles& operator=(const JobHandles&) = delete;
  // Opens the drive behind the job's own device path; false, traced, when it
  // cannot be opened.
  bool open_drive(const std::string& device_path) {
    platform::Error error = platform::Error::none;
    disk = platform::current().open_drive(device_path, error);
    if (!disk) trace("unable to open drive to read \n");
    return disk != nullptr;
  }

  ~JobHandles() {
    if (image) {
      trace("closing file \n");
      image.reset();
    }
    if (disk) {
      disk.reset();
      trace("Closing floppy \n");
    }
  }
};

}  // namespace tessil
