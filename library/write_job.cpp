#include <array>
#include <cstdio>
#include <memory>
#include <string>

#include "geometry.h"
#include "image_format.h"
#include "job_handles.h"
#include "job_state.h"
#include "jobs.h"
#include "platform/platform.h"
#include "progress.h"
#include "trace.h"

namespace tessil {

int32_t write_job() {
  JobState& state = job_state();
  trace("thread running... \n");

  DriveInfo drive;
  std::string device_path;
  const int32_t found = query_drive(state.driveint.c_str(), drive, device_path);
  const ImageHeader drive_record = header_of(drive);
  trace("cyl do disquete %d\n", static_cast<int>(drive.cylinders));
  trace("disk.image %s\n", "");

  if (found == 0) {
    trace("donot has disk in drive \n");
    return JOB_NO_MEDIA;
  }
  trace("has disk in drive \n");

  int32_t result = JOB_OK;
  JobHandles handles;
  File& image = handles.image;
  std::unique_ptr<platform::Drive>& disk = handles.disk;
  uint32_t total = 0;

  // A path that did not fit is never opened shortened, and a drive is never
  // written from itself.
  if (usable_image_path(state.imagefileint, device_path))
    image.reset(std::fopen(state.imagefileint.c_str(), "rb"));
  HeaderBytes bytes{};
  std::size_t header_read = 0;
  if (!image) {
    trace("The file was not opened\n");
    result = JOB_IMAGE_OPEN_FAILED;
  } else if (header_read = std::fread(bytes.data(), 1, bytes.size(), image.get());
             header_read == 0) {
    trace("unable to read from file \n");
    result = JOB_HEADER_READ_FAILED;
  } else {
    trace("read ok \n");
    // A partial header cannot describe this disk; its unread bytes are never
    // compared.
    if (header_read != bytes.size() ||
        !same_geometry(decode_header(std::span(bytes).first(header_read)), drive_record)) {
      result = JOB_GEOMETRY_MISMATCH;
    } else {
      trace("the drive copy %s \n", device_path.c_str());
      if (!handles.open_drive(device_path)) result = JOB_DRIVE_OPEN_FAILED;
    }
  }

  if (disk) {
    std::array<std::byte, TESSIL_BLOCK_SIZE> block;
    bool write_failed = false;
    while (state.cancel.load(std::memory_order_relaxed) == 0) {
      const std::size_t n = std::fread(block.data(), 1, block.size(), image.get());
      total += static_cast<uint32_t>(n);
      state.porcentage.store(calcporcentage(drive.total_size, total), std::memory_order_relaxed);
      trace("Valores %d %d \n", static_cast<int>(total), static_cast<int>(drive.total_size));
      if (n == 0) {
        trace("Fim do arquivo \n");
        break;
      }
      if (disk->write(std::span(block).first(n)) != platform::Error::none) {
        trace("Errro escrevendo o arquivo \n");
        write_failed = true;
        break;
      }
    }
    // Nothing counts as written until the drive has it on the medium; a
    // floppy shows a failed write only here.
    if (write_failed || disk->flush() != platform::Error::none) {
      result = JOB_DRIVE_WRITE_FAILED;
    } else {
      state.porcentage.store(100, std::memory_order_relaxed);
      if (state.cancel.load(std::memory_order_relaxed) != 0)
        result = JOB_CANCELLED;
      else if (total != static_cast<uint32_t>(drive.total_size))
        result = JOB_SHORT_WRITE;
    }
  }
  return result;
}

}  // namespace tessil

extern "C" int32_t writedisk(const char* drive, const char* image_path) {
  return tessil::start_job(drive, image_path, false, nullptr, tessil::write_job);
}
