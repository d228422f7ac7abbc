#include "verify_job.h"

#include <algorithm>
#include <array>
#include <optional>

#include "block_loop.h"
#include "data_digest.h"
#include "image_format.h"
#include "job_preamble.h"
#include "tessil.h"
#include "track_io.h"

namespace tessil {

namespace {

// Takes from the disk and "puts" by comparing with the image's next bytes.
class DiskAgainstImage final : public BlockEnds {
 public:
  DiskAgainstImage(JobHandles& handles, TrackReader& reader, VerifyOutcome& result, bool pad)
      : handles_(handles), reader_(reader), result_(result), pad_(pad) {}

  platform::ReadResult take(std::span<std::byte> block) override { return reader_.take(block); }
  platform::Error put(std::span<const std::byte> block) override {
    std::array<std::byte, TESSIL_BLOCK_SIZE> expected;
    const platform::ReadResult got = handles_.image->read(std::span(expected).first(block.size()));
    if (got.failed()) return got.error;
    std::size_t count = got.count;
    // A short raw image was written with zeros after its end.
    if (pad_ && count < block.size()) {
      std::fill(expected.begin() + std::ptrdiff_t(count), expected.end(), std::byte{0});
      count = block.size();
    }
    const bool same =
        count == block.size() && std::equal(block.begin(), block.end(), expected.begin());
    count_sector(result_, same, static_cast<uint32_t>(result_.drive.tracks_per_cylinder),
                 static_cast<uint32_t>(result_.drive.sectors_per_track));
    return platform::Error::none;
  }
  void counted(uint64_t) override {}

 private:
  JobHandles& handles_;
  TrackReader& reader_;
  VerifyOutcome& result_;
  bool pad_;
};

// The image's size must be exactly its header and this disk: a shorter or
// longer one cannot be the disk, whatever its sectors say.
bool image_holds_the_disk(platform::ImageFile& image, const JobRequest& request,
                          uint64_t disk_size) {
  const std::optional<uint64_t> size = image.size();
  if (request.pad_raw) return size && *size > 0 && *size <= disk_size;
  return size && *size == disk_size + (request.raw_image ? 0 : image_header_size);
}

}  // namespace

void count_sector(VerifyOutcome& result, bool same, uint32_t heads, uint32_t sectors_per_track) {
  if (!same) {
    ++result.differing_sectors;
    if (result.first_differences.size() < listed_differences)
      result.first_differences.push_back(sector_address(result.sectors, heads, sectors_per_track));
  }
  ++result.sectors;
}

VerifyOutcome run_verify_job(const JobRequest& request, JobSink& sink) {
  VerifyOutcome result;
  const JobDrive drive = find_job_drive(request);
  result.drive = drive.info;
  if (!drive.found) {
    result.outcome = {JOB_NO_MEDIA, drive.reason, {}};
    return result;
  }

  JobHandles handles;
  JobOutcome& outcome = result.outcome;
  if (!handles.open_image(request, drive, platform::ImageMode::read, outcome.reason)) {
    outcome.code = JOB_IMAGE_OPEN_FAILED;
  } else if (outcome = match_image_to_drive(*handles.image, request, drive);
             outcome.code == JOB_OK) {
    if (!image_holds_the_disk(*handles.image, request, drive.info.size)) {
      outcome.code = JOB_GEOMETRY_MISMATCH;
    } else {
      handles.disk = drive.session->open_drive_to_verify(outcome.reason);
      if (!handles.disk) outcome.code = JOB_DRIVE_OPEN_FAILED;
    }
  }
  if (!handles.disk) return result;

  const std::size_t sector =
      drive.info.bytes_per_sector > 0 && drive.info.bytes_per_sector % TESSIL_BLOCK_SIZE == 0
          ? static_cast<std::size_t>(drive.info.bytes_per_sector)
          : TESSIL_BLOCK_SIZE;
  TrackReader reader(*handles.disk, drive.info.size, command_bytes(drive.info), sector);
  DiskAgainstImage compare(handles, reader, result, request.pad_raw);
  std::optional<DataDigest> digest;
  std::optional<DigestingEnds> digesting;
  if (request.checksums) digesting.emplace(compare, digest.emplace());
  BlockEnds& ends = digesting ? static_cast<BlockEnds&>(*digesting) : compare;
  const LoopResult loop = copy_blocks(ends, drive.info.size, sink, true);
  sink.progress({100, loop.done, drive.info.size});

  if (loop.end == LoopEnd::cancelled || sink.cancel_requested()) {
    outcome.code = JOB_CANCELLED;
  } else if (loop.end == LoopEnd::target_failed) {
    outcome = {JOB_HEADER_READ_FAILED, loop.reason, {}};
  } else if (loop.done != drive.info.size) {
    outcome = {JOB_SHORT_READ,
               loop.reason == platform::Error::none ? platform::Error::io : loop.reason,
               {}};
  } else {
    outcome.code = result.differing_sectors == 0 ? JOB_OK : outcome::verify_failed;
    if (digest) outcome.checksums = digest->finish();
  }
  return result;
}

}  // namespace tessil
