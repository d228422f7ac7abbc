#include "rescue/rescue_resume.h"

#include <optional>
#include <set>
#include <vector>

#include "image_format.h"
#include "outcomes.h"
#include "standard_formats.h"

namespace tessil::rescue {

namespace {

using platform::Error;
using platform::ImageFile;

// The fill of every sector in [pos, pos + size), written in place.
bool write_fill(ImageFile& image, const RescueRequest& request, uint64_t sector_size, uint64_t pos,
                uint64_t size, RescueSink& sink, RescueOutcome& out) {
  std::vector<std::byte> block(sector_size);
  for (uint64_t at = pos; at < pos + size; at += sector_size) {
    if ((at - pos) / sector_size % stop_check_sectors == 0 && stopped(sink, out)) return false;
    fill_sector(request.fill, at / sector_size, block);
    if (const Error put = image.write_at(data_offset(request) + at, block); put != Error::none)
      return fail(out, JOB_HEADER_WRITE_FAILED, put);
  }
  return true;
}

// The bytes of data behind `offset`: the size as the file system tells it,
// or else as far as the file reads.
std::optional<uint64_t> data_length(ImageFile& image, uint64_t offset, RescueSink& sink,
                                    RescueOutcome& out) {
  if (const std::optional<uint64_t> size = image.size()) return *size > offset ? *size - offset : 0;
  uint64_t length = 0;
  std::vector<std::byte> chunk(64 * 1024);
  for (;;) {
    if (stopped(sink, out)) return std::nullopt;
    const platform::ReadResult data = image.read(chunk);
    length += data.count;
    if (data.failed()) {
      fail(out, JOB_HEADER_READ_FAILED, data.error, "the image file could not be read");
      return std::nullopt;
    }
    if (data.count < chunk.size()) return length;
  }
}

// A tessil image that an earlier run left: the drive's geometry in its
// header, and its whole size, or the map's rescued sectors would not be in
// it.
bool check_header(ImageFile& image, const DriveInfo& info, RescueOutcome& out) {
  HeaderBytes bytes{};
  const platform::ReadResult got = image.read(bytes);
  const ImageHeader header = decode_header(bytes);
  if (got.count == bytes.size() &&
      plausible_data_size(header.cylinders, header.tracks_per_cylinder, header.sectors_per_track,
                          header.bytes_per_sector) == 0)
    return fail(out, JOB_GEOMETRY_MISMATCH, Error::none,
                "the image file has no tessil image's header; a raw image goes on as one");
  if (got.count < bytes.size() || !same_geometry(header, header_of(info)))
    return fail(out, JOB_GEOMETRY_MISMATCH, got.error,
                "the image file does not hold this disk's geometry");
  out.label = header.label;
  return true;
}

// An image may end where its last read did (GNU ddrescue's, or a plain
// read's that failed), but not before a sector its map calls rescued; the
// fill then makes up the rest.
bool check_image(ImageFile& image, const RescueRequest& request, const DriveInfo& info,
                 RescueSink& sink, RescueOutcome& out) {
  const bool raw = request.job.raw_image;
  if (!raw && !check_header(image, info, out)) return false;
  const std::optional<uint64_t> length = data_length(image, data_offset(request), sink, out);
  if (!length) return false;
  if (*length > info.size && raw)
    return fail(out, JOB_GEOMETRY_MISMATCH, Error::none, "the image file is larger than the disk");
  if (*length < info.size && out.map.next(Status::rescued, *length))
    return fail(out, JOB_GEOMETRY_MISMATCH, Error::none, "the image file is shorter than the disk");
  return true;
}

// The rescued sectors a resume reads again: the first ones, where a file
// system keeps what tells two disks apart, and some spread over the disk.
std::vector<uint64_t> sample_of(const RescueMap& map, uint64_t sector) {
  constexpr uint64_t first = 4, spread = 16;
  std::set<uint64_t> picked;
  const auto pick = [&](uint64_t from) {
    const std::optional<Area> area = map.next(Status::rescued, from, sector);
    if (area && area->pos % sector == 0 && area->size >= sector) picked.insert(area->pos);
    return area ? area->pos + sector : map.size();
  };
  for (uint64_t from = 0, n = 0; n < first && from < map.size(); ++n) from = pick(from);
  const uint64_t sectors = map.size() / sector;
  for (uint64_t i = 1; i < spread; ++i) pick(sectors * i / spread * sector);
  return {picked.begin(), picked.end()};
}

// The disk in the drive against the image: a sampled sector that reads
// other data than the image holds means another disk. One that fails to
// read proves nothing either way.
bool same_disk(platform::Drive& disk, ImageFile& image, const RescueRequest& request,
               RescueSink& sink, RescueOutcome& out) {
  const uint64_t sector = uint64_t(out.drive.bytes_per_sector);
  std::vector<std::byte> on_disk(sector), in_image(sector);
  for (const uint64_t pos : sample_of(out.map, sector)) {
    if (stopped(sink, out)) return false;
    if (disk.read_at(pos, on_disk).count < sector) continue;
    if (image.read_at(data_offset(request) + pos, in_image).count < sector) continue;
    if (on_disk != in_image)
      return fail(
          out, JOB_GEOMETRY_MISMATCH, Error::none,
          "the disk in drive " + request.job.drive + " is not the one this image was rescued from");
  }
  return true;
}

}  // namespace

bool resume_image(const RescueRequest& request, const JobDrive& drive, RescueOutcome& out,
                  JobHandles& handles, RescueSink& sink) {
  Error error = Error::none;
  if (!handles.open_image(request.job, drive, platform::ImageMode::update, error))
    return fail(out, JOB_IMAGE_OPEN_FAILED, error,
                "the map's image file " + request.job.image + " cannot be opened");
  out.in_place = true;
  if (!check_image(*handles.image, request, drive.info, sink, out) ||
      !same_disk(*handles.disk, *handles.image, request, sink, out))
    return false;
  // What is not rescued gets this run's fill.
  const uint64_t sector_size = uint64_t(drive.info.bytes_per_sector);
  for (uint64_t pos = 0; pos < out.map.size();) {
    const Status status = out.map.status_at(pos);
    const Area run = *out.map.next(status, pos);
    if (status != Status::rescued &&
        !write_fill(*handles.image, request, sector_size, run.pos, run.size, sink, out))
      return false;
    pos = run.end();
  }
  return true;
}

}  // namespace tessil::rescue
