#include <array>
#include <cstdio>
#include <cstring>
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

namespace {

// Pushes the stream's buffer to the file and the file to its medium, so that
// a full or failing file system shows up here and not after "Done".
bool finish_image(File& file) {
  bool ok = std::fflush(file.get()) == 0;
  ok = platform::current().sync_file(file.get()) && ok;
  ok = std::fclose(file.release()) == 0 && ok;
  return ok;
}

}  // namespace

int32_t read_job() {
  JobState& state = job_state();
  trace("thread running... \n");
  trace("drivedata = %d \n", static_cast<int>(image_header_size));

  DriveInfo drive;
  std::string device_path;
  const int32_t found = query_drive(state.driveint.c_str(), drive, device_path);

  ImageHeader header = header_of(drive);
  std::memcpy(header.label, state.inameint.c_str(), state.inameint.view().size() + 1);
  trace("disk.image %s\n", header.label);

  if (found == 0) {
    trace("donot has disk in drive \n");
    return JOB_NO_MEDIA;
  }
  trace("has disk in drive \n");

  int32_t result = JOB_OK;
  JobHandles handles;
  File& image = handles.image;
  std::unique_ptr<platform::Drive>& disk = handles.disk;
  bool image_failed = false;
  uint32_t total = 0;

  // A path that did not fit is never opened shortened, and the drive itself
  // is never emptied to become its own image.
  if (usable_image_path(state.imagefileint, device_path))
    image.reset(std::fopen(state.imagefileint.c_str(), "wb"));
  if (!image) {
    trace("The file was not opened\n");
    result = JOB_IMAGE_CREATE_FAILED;
  } else if (const HeaderBytes bytes = encode_header(header);
             std::fwrite(bytes.data(), 1, bytes.size(), image.get()) != bytes.size()) {
    trace("unable to write to file \n");
    result = JOB_HEADER_WRITE_FAILED;
  } else {
    trace("drivecopy %s\n", device_path.c_str());
    if (!handles.open_drive(device_path)) result = JOB_DRIVE_OPEN_FAILED;
  }

  if (disk) {
    std::array<std::byte, TESSIL_BLOCK_SIZE> block;
    for (;;) {
      const std::size_t n = disk->read(block);
      total += static_cast<uint32_t>(n);
      trace("dentro do loop %d\n", static_cast<int>(total));
      state.porcentage.store(calcporcentage(drive.total_size, total), std::memory_order_relaxed);
      // Anything short of the whole block in the file is a lost part of
      // the disk, not a smaller read.
      const std::size_t written = n ? std::fwrite(block.data(), 1, n, image.get()) : 0;
      if (written != n) image_failed = true;
      if (n == 0 || image_failed) {
        trace("saindo do loop %d\n", static_cast<int>(total));
        break;
      }
      if (state.cancel.load(std::memory_order_relaxed) != 0) break;
    }
    trace("check %d %d \n", static_cast<int>(drive.total_size), static_cast<int>(total));
    trace("closing file \n");
    if (!finish_image(image)) image_failed = true;
    state.porcentage.store(100, std::memory_order_relaxed);

    if (state.cancel.load(std::memory_order_relaxed) != 0)
      result = JOB_CANCELLED;
    else if (image_failed)
      result = JOB_HEADER_WRITE_FAILED;
    else if (total != static_cast<uint32_t>(drive.total_size))
      result = JOB_SHORT_READ;
  }
  return result;
}

}  // namespace tessil

extern "C" int32_t readdisk(const char* drive, const char* image_path, const char* label) {
  return tessil::start_job(drive, image_path, true, label, tessil::read_job);
}
