// What a job holds open. Both are closed on every way out of the job, the
// image file first, then the drive.
#pragma once

#include <memory>

#include "image_format.h"
#include "platform/platform.h"
#include "trace.h"

namespace tessil {

struct JobHandles {
  File image;
  std::unique_ptr<platform::Drive> disk;

  JobHandles() = default;
  JobHandles(const JobHandles&) = delete;
  JobHandles& operator=(const JobHandles&) = delete;
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
