#include "job_preamble.h"

#include "image_format.h"
#include "raw_image.h"
#include "trace.h"

namespace tessil {

JobDrive find_job_drive(const JobRequest& request, platform::DriveAccess widest) {
  JobDrive drive;
  drive.session = request.session;
  if (!drive.session) {
    drive.own_session = request.os().hold_drive(device_path_of(request.drive.c_str()), widest);
    drive.session = drive.own_session.get();
  }
  if (request.print_query) print_query_start(request.os(), request.drive.c_str());
  drive.found = query_drive(request.os(), request.drive.c_str(), drive.info, drive.device_path,
                            &drive.reason, drive.session) != 0;
  if (request.print_query && drive.found) print_query_answer(drive.info);
  return drive;
}

bool has_disk(const JobDrive& drive) {
  trace(drive.found ? "has disk in drive \n" : "donot has disk in drive \n");
  return drive.found;
}

bool JobHandles::open_image(const JobRequest& request, const JobDrive& drive,
                            platform::ImageMode mode, platform::Error& error) {
  platform::Platform& os = request.os();
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
  disk = drive.session->open_drive(access, error);
  if (!disk) trace("unable to open drive to read \n");
  return disk != nullptr;
}

JobOutcome match_image_to_drive(platform::ImageFile& image, const JobRequest& request,
                                const JobDrive& drive) {
  const ImageHeader drive_record = header_of(drive.info);
  if (request.raw_image) {
    const std::optional<uint64_t> size = image.size();
    if (request.pad_raw)
      return {size && *size > 0 && *size <= drive.info.size ? JOB_OK : JOB_GEOMETRY_MISMATCH,
              platform::Error::none,
              {}};
    const StandardFormat* format = size ? standard_format_of(*size) : nullptr;
    if (!format || !same_geometry(header_of(*format), drive_record))
      return {JOB_GEOMETRY_MISMATCH, platform::Error::none, {}};
    return {JOB_OK, platform::Error::none, {}};
  }
  HeaderBytes bytes{};
  const platform::ReadResult header_read = image.read(bytes);
  if (header_read.count == 0) {
    trace("unable to read from file \n");
    return {JOB_HEADER_READ_FAILED, header_read.error, {}};
  }
  trace("read ok \n");
  // A partial header cannot describe this disk; its unread bytes are never
  // compared.
  if (header_read.count != bytes.size() ||
      !same_geometry(decode_header(std::span(bytes).first(header_read.count)), drive_record))
    return {JOB_GEOMETRY_MISMATCH, platform::Error::none, {}};
  return {JOB_OK, platform::Error::none, {}};
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
