// The read job: the whole disk into a new image file, behind its header.
#include <cstdint>
#include <optional>

#include "block_loop.h"
#include "data_digest.h"
#include "image_format.h"
#include "job_preamble.h"
#include "jobs.h"
#include "trace.h"

namespace tessil {

namespace {

class DiskToImage final : public BlockEnds {
 public:
  explicit DiskToImage(JobHandles& handles) : handles_(handles) {}
  platform::ReadResult take(std::span<std::byte> block) override {
    return handles_.disk->read(block);
  }
  platform::Error put(std::span<const std::byte> block) override {
    return handles_.image->write(block);
  }
  void counted(uint64_t done) override {
    trace("dentro do loop %d\n", static_cast<int>(static_cast<uint32_t>(done)));
  }

 private:
  JobHandles& handles_;
};

}  // namespace

JobOutcome run_read_job(const JobRequest& request, JobSink& sink) {
  trace("thread running... \n");
  trace("drivedata = %d \n", static_cast<int>(image_header_size));

  const JobDrive drive = find_job_drive(request);
  ImageHeader header = header_of(drive.info);
  set_label(header, request.label);
  trace("disk.image %s\n", header.label);
  if (!has_disk(drive)) return {JOB_NO_MEDIA, drive.reason, {}};

  JobOutcome outcome{JOB_OK, platform::Error::none, {}};
  JobHandles handles;
  const platform::ImageMode mode =
      request.new_image_only ? platform::ImageMode::create_new : platform::ImageMode::create;
  if (!handles.open_image(request, drive, mode, outcome.reason)) {
    outcome.code = JOB_IMAGE_CREATE_FAILED;
  } else if (const HeaderBytes bytes = encode_header(header);
             // A raw image is the sectors alone.
             !request.raw_image &&
             (outcome.reason = handles.image->write(bytes)) != platform::Error::none) {
    trace("unable to write to file \n");
    outcome.code = JOB_HEADER_WRITE_FAILED;
  } else {
    trace("drivecopy %s\n", drive.device_path.c_str());
    if (!handles.open_drive(drive, platform::DriveAccess::read, outcome.reason))
      outcome.code = JOB_DRIVE_OPEN_FAILED;
  }
  if (!handles.disk) return outcome;

  DiskToImage disk_to_image(handles);
  // The crypto library is touched only when checksums were asked for.
  std::optional<DataDigest> digest;
  std::optional<DigestingEnds> digesting;
  if (request.checksums) digesting.emplace(disk_to_image, digest.emplace());
  BlockEnds& ends = digesting ? static_cast<BlockEnds&>(*digesting) : disk_to_image;
  const LoopResult loop = copy_blocks(ends, drive.info.size, sink, false);
  if (loop.end != LoopEnd::cancelled)
    trace("saindo do loop %d\n", static_cast<int>(static_cast<uint32_t>(loop.done)));
  trace("check %d %d \n", static_cast<int>(drive.info.total_size),
        static_cast<int>(static_cast<uint32_t>(loop.done)));
  trace("closing file \n");
  // Nothing is done until the file system has every byte: a full or
  // failing one shows up here, not after "Done".
  platform::Error image_failure =
      loop.end == LoopEnd::target_failed ? loop.reason : platform::Error::none;
  const platform::Error finished = handles.image->finish();
  if (image_failure == platform::Error::none) image_failure = finished;
  // An image deleted or renamed away meanwhile was not made.
  if (image_failure == platform::Error::none && !handles.image->named_by(request.image.c_str()))
    image_failure = platform::Error::not_found;
  handles.image.reset();
  sink.progress({100, loop.done, drive.info.size});

  if (sink.cancel_requested()) {
    outcome.code = JOB_CANCELLED;
  } else if (image_failure != platform::Error::none) {
    outcome = {JOB_HEADER_WRITE_FAILED, image_failure, {}};
  } else if (loop.done != drive.info.size) {
    outcome = {JOB_SHORT_READ,
               loop.reason == platform::Error::none ? platform::Error::io : loop.reason,
               {}};
  } else if (digest) {
    outcome.checksums = digest->finish();
  }
  return outcome;
}

}  // namespace tessil
