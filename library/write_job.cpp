// The write job: an image file onto a disk of the same geometry.
#include <algorithm>
#include <cstdint>
#include <optional>

#include "block_loop.h"
#include "data_digest.h"
#include "image_format.h"
#include "job_preamble.h"
#include "jobs.h"
#include "progress.h"
#include "trace.h"
#include "track_io.h"

namespace tessil {

namespace {

class ImageToDisk final : public BlockEnds {
 public:
  ImageToDisk(JobHandles& handles, TrackWriter& writer, uint64_t total, bool pad)
      : handles_(handles), writer_(writer), total_(total), pad_(pad) {}
  platform::ReadResult take(std::span<std::byte> block) override {
    platform::ReadResult got = handles_.image->read(block);
    // A short raw image ends early; the disk's remaining bytes are zeros.
    if (pad_ && !got.failed() && got.count < block.size()) {
      const std::size_t whole = static_cast<std::size_t>(
          std::min<uint64_t>(block.size(), total_ - std::min(taken_, total_)));
      if (got.count < whole)
        std::fill(block.begin() + std::ptrdiff_t(got.count), block.begin() + std::ptrdiff_t(whole),
                  std::byte{0});
      got = {std::max(got.count, whole), platform::Error::none, false};
    }
    taken_ += got.count;
    return got;
  }
  platform::Error put(std::span<const std::byte> block) override { return writer_.put(block); }
  void counted(uint64_t done) override {
    trace("Valores %d %d \n", static_cast<int>(static_cast<uint32_t>(done)),
          static_cast<int>(static_cast<uint32_t>(total_)));
  }

 private:
  JobHandles& handles_;
  TrackWriter& writer_;
  uint64_t total_;
  bool pad_;
  uint64_t taken_ = 0;
};

}  // namespace

JobOutcome run_write_job(const JobRequest& request, JobSink& sink) {
  trace("thread running... \n");

  const JobDrive drive = find_job_drive(request, platform::DriveAccess::read_write);
  trace("cyl do disquete %d\n", static_cast<int>(drive.info.cylinders));
  trace("disk.image %s\n", "");
  if (!has_disk(drive)) return {JOB_NO_MEDIA, drive.reason, {}};

  JobOutcome outcome{JOB_OK, platform::Error::none, {}};
  JobHandles handles;
  if (!handles.open_image(request, drive, platform::ImageMode::read, outcome.reason)) {
    outcome.code = JOB_IMAGE_OPEN_FAILED;
  } else if (outcome = match_image_to_drive(*handles.image, request, drive);
             outcome.code == JOB_OK) {
    trace("the drive copy %s \n", drive.device_path.c_str());
    if (!handles.open_drive(drive, platform::DriveAccess::read_write, outcome.reason))
      outcome.code = JOB_DRIVE_OPEN_FAILED;
  }
  if (!handles.disk) return outcome;

  TrackWriter writer(*handles.disk, command_bytes(drive.info));
  ImageToDisk image_to_disk(handles, writer, drive.info.size, request.pad_raw);
  // The crypto library is touched only when checksums were asked for.
  std::optional<DataDigest> digest;
  std::optional<DigestingEnds> digesting;
  if (request.checksums) digesting.emplace(image_to_disk, digest.emplace());
  BlockEnds& ends = digesting ? static_cast<BlockEnds&>(*digesting) : image_to_disk;
  LoopResult loop = copy_blocks(ends, drive.info.size, sink, true);
  if (loop.end == LoopEnd::source_done) trace("Fim do arquivo \n");
  // Every block taken goes onto the disk, after a stop too.
  if (loop.end != LoopEnd::target_failed) {
    if (const platform::Error drained = writer.drain(); drained != platform::Error::none)
      loop = {LoopEnd::target_failed, loop.done, drained};
  }
  if (loop.end == LoopEnd::target_failed) {
    trace("Errro escrevendo o arquivo \n");
    // The drive saw the blocks a command at a time: the job stops at the
    // block that failed, as if it had been written alone.
    const uint64_t failed = writer.failed_end() ? writer.failed_end() : loop.done;
    sink.progress({progress_percent(drive.info.size, failed), failed, drive.info.size});
    return {JOB_DRIVE_WRITE_FAILED, loop.reason, {}};
  }
  // Nothing counts as written until the drive has it on the medium.
  if (const platform::Error flushed = handles.disk->flush(); flushed != platform::Error::none)
    return {JOB_DRIVE_WRITE_FAILED, flushed, {}};
  sink.progress({100, loop.done, drive.info.size});
  if (sink.cancel_requested()) {
    outcome.code = JOB_CANCELLED;
  } else if (loop.done != drive.info.size) {
    outcome = {JOB_SHORT_WRITE, loop.reason, {}};
  } else if (digest) {
    outcome.checksums = digest->finish();
  }
  return outcome;
}

}  // namespace tessil
