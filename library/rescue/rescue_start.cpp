#include "rescue/rescue_start.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "image_format.h"
#include "outcomes.h"
#include "platform/error_words.h"
#include "rescue/map_reader.h"
#include "rescue/rescue_resume.h"

namespace tessil::rescue {

namespace {

using platform::Error;
using platform::ImageFile;

// Bytes of a map read between two looks at a stop request.
constexpr std::size_t map_piece = 64 * 1024;

// What stands at an image's name. A file that cannot be looked into counts
// as holding data: it is never replaced.
enum class Found { nothing, empty, data };

Found what_is_at(platform::Platform& os, const std::string& path) {
  Error error = Error::none;
  const std::unique_ptr<ImageFile> file =
      os.open_image(path.c_str(), platform::ImageMode::read, error);
  if (!file) return error == Error::not_found ? Found::nothing : Found::data;
  std::array<std::byte, 1> byte;
  const platform::ReadResult got = file->read(byte);
  return got.count == 0 && !got.failed() ? Found::empty : Found::data;
}

// A new image: the header (none for a raw image), then the fill of every
// sector, so that the file has its whole size from the start. Zeros need no
// writing where the file can simply be given its size.
bool create_image(ImageFile& image, const RescueRequest& request, const DriveInfo& info,
                  RescueSink& sink, RescueOutcome& out) {
  if (!request.job.raw_image) {
    ImageHeader header = header_of(info);
    set_label(header, request.job.label);
    out.label = header.label;
    if (const Error put = image.write(encode_header(header)); put != Error::none)
      return fail(out, JOB_HEADER_WRITE_FAILED, put);
  }
  if (request.fill == Fill::zero && image.set_size(data_offset(request) + info.size) == Error::none)
    return true;
  const uint64_t sector_size = uint64_t(info.bytes_per_sector);
  std::vector<std::byte> block(sector_size);
  for (uint64_t sector = 0; sector < info.size / sector_size; ++sector) {
    if (sector % stop_check_sectors == 0 && stopped(sink, out)) return false;
    fill_sector(request.fill, sector, block);
    if (const Error put = image.write(block); put != Error::none)
      return fail(out, JOB_HEADER_WRITE_FAILED, put);
  }
  return true;
}

// A map that cannot be used, said of the map.
bool map_unusable(RescueOutcome& out, Error reason, std::string problem) {
  out.failed_file = out.map_path;
  return fail(out, outcome::map_unusable, reason, std::move(problem));
}

// Reads the map at out.map_path piece by piece into `reader`, looking for a
// stop request between two pieces. False, with out.job, when it cannot.
bool read_map(platform::Platform& os, RescueOutcome& out, MapReader& reader, RescueSink& sink,
              bool& found) {
  Error error = Error::none;
  const std::unique_ptr<ImageFile> file =
      os.open_image(out.map_path.c_str(), platform::ImageMode::read, error);
  found = file != nullptr;
  if (!file)
    return error == Error::not_found ||
           map_unusable(out, error, "it cannot be read: " + std::string(error_words(error)));
  std::vector<std::byte> chunk(map_piece);
  for (;;) {
    if (stopped(sink, out)) return false;
    const platform::ReadResult got = file->read(chunk);
    if (!reader.feed(std::string_view(reinterpret_cast<const char*>(chunk.data()), got.count)))
      return map_unusable(out, Error::other, reader.error());
    if (got.failed())
      return map_unusable(out, got.error,
                          "it cannot be read: " + std::string(error_words(got.error)));
    if (got.count < chunk.size()) return true;
  }
}

// Finds the map an earlier run left, or starts a new one.
bool load_map(const RescueRequest& request, RescueOutcome& out, RescueSink& sink) {
  const uint64_t sector = uint64_t(out.drive.bytes_per_sector);
  out.map = RescueMap(out.drive.size, sector);
  MapReader reader(sector, out.drive.size);
  bool found = false;
  if (!read_map(request.job.os(), out, reader, sink, found)) return false;
  if (!found) return true;
  std::optional<RescueMap> map = reader.finish();
  if (!map) return map_unusable(out, Error::other, reader.error());
  // A new rescue's first map, saved before its image was put in place:
  // nothing was rescued, and starting afresh loses nothing.
  if (map->bytes(Status::rescued) == 0 &&
      what_is_at(request.job.os(), request.job.image) != Found::data)
    return true;
  // ddrescue may have mapped only the start of the disk.
  map->extend_to(out.drive.size);
  out.map = std::move(*map);
  out.resumed = true;
  return true;
}

bool new_image(const RescueRequest& request, const JobDrive& drive, RescueOutcome& out,
               JobHandles& handles, RescueSink& sink, NewImage& image) {
  // The map's folder first: an image whose map cannot be saved is no use.
  std::filesystem::path folder = std::filesystem::path(out.map_path).parent_path();
  std::error_code ignored;
  if (!folder.empty() && !std::filesystem::is_directory(folder, ignored)) {
    out.failed_file = out.map_path;
    return fail(out, outcome::map_not_written, Error::not_found,
                "its folder " + folder.string() + " does not exist");
  }
  platform::Platform& os = request.job.os();
  switch (what_is_at(request.job.os(), request.job.image)) {
    case Found::nothing:
      break;
    case Found::empty:
      image.claim = os.identity_of(request.job.image.c_str());
      break;
    case Found::data:
      // Without its map an earlier rescue's image cannot be continued, and
      // starting afresh would empty it: a mistyped --map must not cost that.
      return fail(out, JOB_IMAGE_CREATE_FAILED, Error::other,
                  "the image file " + request.job.image + " exists but the map " + out.map_path +
                      " does not; name its map, or remove the image");
  }
  JobRequest job = request.job;
  job.image = os.temporary_name_beside(request.job.image.c_str());
  Error error = Error::other;
  if (job.image.empty() || !handles.open_image(job, drive, platform::ImageMode::create_new, error))
    return fail(out, JOB_IMAGE_CREATE_FAILED, error);
  image.temporary = job.image;
  return create_image(*handles.image, request, drive.info, sink, out);
}

}  // namespace

NewImage::~NewImage() {
  if (!temporary.empty()) os_.remove_file(temporary.c_str());
}

bool start_rescue(const RescueRequest& request, const JobDrive& drive, RescueOutcome& out,
                  JobHandles& handles, RescueSink& sink, NewImage& image) {
  const uint64_t sector_size = uint64_t(std::max(drive.info.bytes_per_sector, 0));
  if (sector_size == 0 || drive.info.size == 0 || drive.info.size % sector_size != 0)
    return fail(out, outcome::no_whole_sectors, Error::other,
                "the disk's geometry has no whole sectors");
  if (platform::same_file(out.map_path, request.job.image) ||
      request.job.os().is_drive(drive.device_path, out.map_path.c_str()))
    return fail(out, JOB_IMAGE_CREATE_FAILED, Error::other,
                "the map file cannot be the image file or the drive");
  if (!load_map(request, out, sink)) return false;
  Error error = Error::none;
  // The drive first: a drive that cannot be opened leaves no new image.
  if (!handles.open_drive(drive, platform::DriveAccess::read, error))
    return fail(out, JOB_DRIVE_OPEN_FAILED, error);
  return out.resumed ? resume_image(request, drive, out, handles, sink)
                     : new_image(request, drive, out, handles, sink, image);
}

bool publish_image(const RescueRequest& request, NewImage& image, RescueOutcome& out) {
  if (image.temporary.empty()) return true;
  platform::Platform& os = request.job.os();
  const char* name = request.job.image.c_str();
  // A claim is replaced only while it is still the empty file it was.
  const bool claimed = image.claim && os.identity_of(name) == image.claim &&
                       what_is_at(request.job.os(), request.job.image) == Found::empty;
  const Error error = os.publish(image.temporary.c_str(), name, claimed);
  if (error == Error::none) {
    image.temporary.clear();
    out.in_place = true;
    return true;
  }
  // Its map describes an image that is not there.
  os.remove_file(out.map_path.c_str());
  return fail(out, JOB_IMAGE_CREATE_FAILED, error,
              error == Error::exists
                  ? "the image file " + request.job.image + " was made by another program meanwhile"
                  : std::string());
}

void fill_sector(Fill fill, uint64_t sector, std::span<std::byte> bytes) {
  if (fill == Fill::zero) {
    std::fill(bytes.begin(), bytes.end(), std::byte{0});
    return;
  }
  char text[48];
  const int n =
      std::snprintf(text, sizeof text, "<<TESSIL: UNREADABLE SECTOR %08" PRIu64 ">>\n", sector);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<std::byte>(text[i % static_cast<std::size_t>(n)]);
}

}  // namespace tessil::rescue
