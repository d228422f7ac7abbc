// The write job: an image file onto a disk of the same geometry.
#include <cstdint>

#include "block_loop.h"
#include "image_format.h"
#include "job_preamble.h"
#include "jobs.h"
#include "trace.h"

namespace tessil {

namespace {

class ImageToDisk final : public BlockEnds {
 public:
  ImageToDisk(JobHandles& handles, uint64_t total) : handles_(handles), total_(total) {}
  platform::ReadResult take(std::span<std::byte> block) override {
    return handles_.image->read(block);
  }
  platform::Error put(std::span<const std::byte> block) override {
    return handles_.disk->write(block);
  }
  void counted(uint64_t done) override {
    trace("Valores %d %d \n", static_cast<int>(static_cast<uint32_t>(done)),
          static_cast<int>(static_cast<uint32_t>(total_)));
  }

 private:
  JobHandles& handles_;
  uint64_t total_;
};

}  // namespace

JobOutcome run_write_job(const JobRequest& request, JobSink& sink) {
  trace("thread running... \n");

  const JobDrive drive = find_job_drive(request);
  const ImageHeader drive_record = header_of(drive.info);
  trace("cyl do disquete %d\n", static_cast<int>(drive.info.cylinders));
  trace("disk.image %s\n", "");
  if (!has_disk(drive)) return {JOB_NO_MEDIA, drive.reason};

  JobOutcome outcome{JOB_OK, platform::Error::none};
  JobHandles handles;
  HeaderBytes bytes{};
  platform::ReadResult header_read;
  if (!handles.open_image(request, drive, platform::ImageMode::read, outcome.reason)) {
    outcome.code = JOB_IMAGE_OPEN_FAILED;
  } else if (header_read = handles.image->read(bytes); header_read.count == 0) {
    trace("unable to read from file \n");
    outcome = {JOB_HEADER_READ_FAILED, header_read.error};
  } else {
    trace("read ok \n");
    // A partial header cannot describe this disk; its unread bytes are never
    // compared.
    if (header_read.count != bytes.size() ||
        !same_geometry(decode_header(std::span(bytes).first(header_read.count)), drive_record)) {
      outcome.code = JOB_GEOMETRY_MISMATCH;
    } else {
      trace("the drive copy %s \n", drive.device_path.c_str());
      if (!handles.open_drive(drive, platform::DriveAccess::read_write, outcome.reason))
        outcome.code = JOB_DRIVE_OPEN_FAILED;
    }
  }
  if (!handles.disk) return outcome;

  ImageToDisk ends(handles, drive.info.size);
  const LoopResult loop = copy_blocks(ends, drive.info.size, sink, true);
  if (loop.end == LoopEnd::source_done) trace("Fim do arquivo \n");
  if (loop.end == LoopEnd::target_failed) trace("Errro escrevendo o arquivo \n");
  // Nothing counts as written until the drive has it on the medium; a
  // floppy shows a failed write only here.
  const platform::Error flushed =
      loop.end == LoopEnd::target_failed ? loop.reason : handles.disk->flush();
  if (flushed != platform::Error::none) return {JOB_DRIVE_WRITE_FAILED, flushed};
  sink.progress({100, loop.done, drive.info.size});
  if (sink.cancel_requested()) {
    outcome.code = JOB_CANCELLED;
  } else if (loop.done != drive.info.size) {
    outcome = {JOB_SHORT_WRITE, loop.reason};
  }
  return outcome;
}

}  // namespace tessil
