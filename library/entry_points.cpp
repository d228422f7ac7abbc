// The nine C entry points of libtessil.so: a thin layer over the engine's
// one job record, the geometry query and the image format.
#include <cstring>

#include "geometry.h"
#include "image_format.h"
#include "job_state.h"
#include "jobs.h"
#include "platform/platform.h"
#include "tessil.h"
#include "trace.h"
#include "version.h"

namespace tessil {

namespace {

// The C interface remembers the device path of the drive it last asked
// about, whatever the answer; the engine itself keeps no such record.
void remember_drive(const char* drive) {
  job_state().drivecopy.store(device_path_of(drive));
}

}  // namespace

int32_t read_job() {
  JobState& state = job_state();
  StateSink sink(state);
  const JobRequest request = request_of(state);
  remember_drive(request.drive.c_str());
  return run_read_job(request, sink).code;
}

int32_t write_job() {
  JobState& state = job_state();
  StateSink sink(state);
  const JobRequest request = request_of(state);
  remember_drive(request.drive.c_str());
  return run_write_job(request, sink).code;
}

}  // namespace tessil

using tessil::job_state;

extern "C" {

int32_t getdriveinfo(const char* drive, int32_t* cylinders, int32_t* tracks_per_cylinder,
                     int32_t* sectors_per_track, int32_t* bytes_per_sector, int32_t* total_size) {
  // Every output is 0 until the drive has answered.
  for (int32_t* out :
       {cylinders, tracks_per_cylinder, sectors_per_track, bytes_per_sector, total_size})
    if (out) *out = 0;

  tessil::platform::Platform& os = tessil::platform::current();
  tessil::print_query_start(os, drive);
  tessil::remember_drive(drive);
  tessil::DriveInfo info;
  std::string device_path;
  const int32_t result = tessil::query_drive(os, drive, info, device_path);
  if (result != 0) tessil::print_query_answer(info);
  if (cylinders) *cylinders = info.cylinders;
  if (tracks_per_cylinder) *tracks_per_cylinder = info.tracks_per_cylinder;
  if (sectors_per_track) *sectors_per_track = info.sectors_per_track;
  if (bytes_per_sector) *bytes_per_sector = info.bytes_per_sector;
  if (total_size) *total_size = info.total_size;
  return result;
}

int32_t getimageinfo(const char* image_path, char* label_out) {
  using namespace tessil;
  platform::Error error = platform::Error::none;
  const std::unique_ptr<platform::ImageFile> file =
      platform::current().open_image(image_path, platform::ImageMode::read, error);
  if (!file) {
    trace("The file was not opened\n");
    return 0;
  }
  HeaderBytes bytes{};
  const platform::ReadResult got = file->read(bytes);
  if (got.count == 0) {
    trace("unable to read from file \n");
  } else {
    trace("read ok \n");
    const ImageHeader header = decode_header(std::span(bytes).first(got.count));
    if (label_out) std::memcpy(label_out, header.label, std::strlen(header.label) + 1);
  }
  trace("closing file \n");
  return 0;
}

int32_t readdisk(const char* drive, const char* image_path, const char* label) {
  return tessil::start_job(drive, image_path, true, label, tessil::read_job);
}

int32_t writedisk(const char* drive, const char* image_path) {
  return tessil::start_job(drive, image_path, false, nullptr, tessil::write_job);
}

int32_t getporcentage(void) {
  return job_state().porcentage.load(std::memory_order_relaxed);
}

int32_t intcancel(void) {
  job_state().cancel.store(1, std::memory_order_relaxed);
  return 0;
}

int32_t retvalue(void) {
  return job_state().busy.load(std::memory_order_acquire);
}

int32_t getreturnvalue(void) {
  return job_state().returnvalue.load(std::memory_order_relaxed);
}

int32_t getversion(void) {
  const auto version = tessil::platform::current().version();
  return version ? tessil::classify_version(*version) : 0;
}

}  // extern "C"
