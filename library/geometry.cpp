#include "geometry.h"

#include <cinttypes>
#include <cstdio>

#include "tessil.h"
#include "trace.h"

namespace tessil {

namespace {

// Values the query prints for its diagnostic lines.
constexpr int32_t ioctl_storage_get_media_types = 0x2D0C00;
constexpr int32_t ioctl_disk_get_drive_geometry = 0x70000;

// The probe path (drive, ":\", "file.txt") must fit a 300-byte buffer.
constexpr std::size_t max_drive_text = TESSIL_TEXT_SIZE - sizeof(":\\file.txt");

std::string_view drive_text(const char* drive) {
  return drive ? drive : "";
}

// The file in the drive's root that the query looks for; empty when the
// drive text does not fit.
std::string probe_path_of(const char* drive) {
  const std::string_view text = drive_text(drive);
  return text.size() <= max_drive_text ? std::string(text).append(":\\file.txt") : std::string();
}

}  // namespace

ImageHeader header_of(const DriveInfo& info) {
  ImageHeader header{};
  header.cylinders = static_cast<uint32_t>(info.cylinders);
  header.tracks_per_cylinder = static_cast<uint32_t>(info.tracks_per_cylinder);
  header.sectors_per_track = static_cast<uint32_t>(info.sectors_per_track);
  header.bytes_per_sector = static_cast<uint32_t>(info.bytes_per_sector);
  return header;
}

std::string device_path_of(const char* drive) {
  const std::string_view text = drive_text(drive);
  if (text.size() > max_drive_text) return {};
  return std::string("\\\\.\\").append(text).append(":");
}

int32_t querygeometry(platform::Platform& os, platform::DriveGeometry& geometry, const char* drive,
                      std::string& device_path, platform::Error* error,
                      platform::DriveSession* session) {
  trace("depois de montado .%s. \n", probe_path_of(drive).c_str());
  device_path = device_path_of(drive);
  trace("para createfile .%s. \n", device_path.c_str());
  platform::Error outcome = platform::Error::not_found;
  if (!device_path.empty())
    outcome =
        session ? session->query_geometry(geometry) : os.query_geometry(device_path, geometry);
  if (error) *error = outcome;
  return outcome == platform::Error::none ? 1 : 0;
}

int32_t query_drive(platform::Platform& os, const char* drive, DriveInfo& info,
                    std::string& device_path, platform::Error* error,
                    platform::DriveSession* session) {
  info = DriveInfo{};
  trace("drivel %s \n", std::string(drive_text(drive)).c_str());

  platform::DriveGeometry g;
  platform::Error outcome = platform::Error::none;
  const int32_t found = querygeometry(os, g, drive, device_path, &outcome, session);
  if (error) *error = outcome;
  if (found == 0) {
    trace("GetDriveGeometry failed. Error %ld.\n", static_cast<long>(outcome));
    return 0;
  }

  info.cylinders = static_cast<int32_t>(static_cast<uint64_t>(g.cylinders) & 0xFFFFFFFFu);
  info.tracks_per_cylinder = static_cast<int32_t>(g.tracks_per_cylinder);
  info.sectors_per_track = static_cast<int32_t>(g.sectors_per_track);
  info.bytes_per_sector = static_cast<int32_t>(g.bytes_per_sector);
  info.media_type = g.media_type;
  trace("Cylinders = %" PRId64 "\n", g.cylinders);
  // 64-bit unsigned arithmetic, wrapping like the drive's own product.
  info.size = uint64_t{g.bytes_per_sector} * g.sectors_per_track * g.tracks_per_cylinder *
              static_cast<uint64_t>(g.cylinders);
  info.total_size = static_cast<int32_t>(info.size & 0xFFFFFFFFu);
  return 1;
}

void print_query_start(platform::Platform& os, const char* drive) {
  const std::string probe = probe_path_of(drive);
  std::printf("IOCTL_STORAGE_GET_MEDIA_TYPES %d \n ", ioctl_storage_get_media_types);
  std::printf("IOCTL_DISK_GET_DRIVE_GEOMETRY %d \n ", ioctl_disk_get_drive_geometry);
  const bool opened = !probe.empty() && os.probe_file(probe.c_str());
  std::fputs(opened ? "abriu arquivo\n" : "nao abriu arquivo\n", stdout);
  std::fputs("foi\n", stdout);
  std::fflush(stdout);
}

void print_query_answer(const DriveInfo& info) {
  std::printf("Tracks/cylinder = %" PRId32 "\n", info.tracks_per_cylinder);
  std::printf("Sectors/track = %" PRId32 "\n", info.sectors_per_track);
  std::printf("Bytes/sector = %" PRId32 "\n", info.bytes_per_sector);
  std::printf("Disk size = %" PRId64 " (Bytes) = %" PRId64 " (Gb)\n",
              static_cast<int64_t>(info.size), static_cast<int64_t>(info.size >> 30));
  std::printf("MediaType %d \n", static_cast<int>(info.media_type));
  std::fflush(stdout);
}

}  // namespace tessil
