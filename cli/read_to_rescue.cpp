#include "read_to_rescue.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "app/drive_facts.h"
#include "describe.h"
#include "rescue/rescue_report.h"

namespace tessil::cli {

namespace {

// The job reads through the system's cache, which asks the disk for whole
// pages and read-ahead: where the job stopped is the start of what failed,
// not the sector. The disk itself is asked, a sector at a time, from there;
// nothing when no sector up to `limit` fails (a disk that failed only once).
std::optional<uint64_t> first_unreadable(char letter, platform::DriveSession* session,
                                         const DriveInfo& info, uint64_t from) {
  constexpr uint64_t limit = 1024;
  platform::Error error = platform::Error::none;
  const std::unique_ptr<platform::Drive> disk =
      app::open_drive(letter, platform::DriveAccess::read, error, session);
  if (!disk) return std::nullopt;
  const uint64_t size = uint64_t(std::max(info.bytes_per_sector, 1));
  std::vector<std::byte> sector(size);
  for (uint64_t at = from; at < info.size / size && at < from + limit; ++at) {
    const platform::ReadResult got = disk->read_at(at * size, sector);
    if (got.failed() || got.count < size) return at;
  }
  return std::nullopt;
}

}  // namespace

void tell_where_read_failed(char letter, platform::DriveSession* session, uint64_t done,
                            const std::string& image) {
  const app::DriveFacts drive = app::look_at_drive(letter, session);
  if (drive.has_disk && done < drive.info.size) {
    const uint64_t from = done / uint64_t(std::max(drive.info.bytes_per_sector, 1));
    const uint64_t sector = first_unreadable(letter, session, drive.info, from).value_or(from);
    const rescue::Chs chs = rescue::chs_of(drive.info, sector);
    std::fprintf(stderr,
                 "tessil-cli: the first sector that could not be read: sector %" PRIu64
                 " (C/H/S %u/%u/%u)\n",
                 sector, chs.cylinder, chs.head, chs.sector);
  }
  std::fprintf(stderr, "tessil-cli: to rescue the rest: tessil-cli read %c %s --rescue\n", letter,
               printable(image).c_str());
}

}  // namespace tessil::cli
