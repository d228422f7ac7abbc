#include "platform/linux/floppy_params.h"

#include <string_view>

namespace tessil::platform::linux_os {

namespace {

// Data rates as the controller takes them; 0x40 asks for perpendicular
// recording, which 2.88 MB disks use.
constexpr unsigned char rate_500k = 0x00;
constexpr unsigned char rate_300k = 0x01;  // 250 kbit/s media in a 360 rpm drive
constexpr unsigned char rate_250k = 0x02;
constexpr unsigned char rate_1m_perpendicular = 0x43;

struct Row {
  std::string_view name;
  unsigned char gap, rate, spec1, fmt_gap;
};

// The gap between sectors when reading (gap) and when formatting (fmt_gap)
// shrink as more sectors share a track; the driver interleaves a track
// whose format gap is this short.
constexpr Row rows[] = {
    {"160 KB", 0x2A, rate_250k, 0xDF, 0x50},  {"180 KB", 0x2A, rate_250k, 0xDF, 0x50},
    {"320 KB", 0x2A, rate_250k, 0xDF, 0x50},  {"360 KB", 0x2A, rate_250k, 0xDF, 0x50},
    {"720 KB", 0x2A, rate_250k, 0xDF, 0x50},  {"1.2 MB", 0x1B, rate_500k, 0xDF, 0x54},
    {"1.44 MB", 0x1B, rate_500k, 0xCF, 0x6C}, {"1.68 MB", 0x1C, rate_500k, 0xCF, 0x0C},
    {"1.72 MB", 0x25, rate_500k, 0xDF, 0x0C}, {"2.88 MB", 0x1B, rate_1m_perpendicular, 0xAF, 0x54},
};

bool takes(FloppyDriveKind kind, const StandardFormat& format) {
  const bool forty = format.cylinders == 40;
  switch (kind) {
    case FloppyDriveKind::dd_525:
      return forty;
    case FloppyDriveKind::hd_525:
      return forty || format.name == "1.2 MB";
    case FloppyDriveKind::dd_35:
      return format.name == "720 KB";
    case FloppyDriveKind::hd_35:
    case FloppyDriveKind::ed_35:
      return !forty && format.name != "1.2 MB" &&
             (kind == FloppyDriveKind::ed_35 || format.name != "2.88 MB");
    case FloppyDriveKind::unknown:
      return false;
  }
  return false;
}

}  // namespace

FloppyDriveKind floppy_drive_kind(int cmos) {
  switch (cmos) {
    case 1:
      return FloppyDriveKind::dd_525;
    case 2:
      return FloppyDriveKind::hd_525;
    case 3:
      return FloppyDriveKind::dd_35;
    case 4:
      return FloppyDriveKind::hd_35;
    case 5:
    case 6:
      return FloppyDriveKind::ed_35;
    default:
      return FloppyDriveKind::unknown;
  }
}

std::vector<const StandardFormat*> formats_for_drive(FloppyDriveKind kind) {
  std::vector<const StandardFormat*> formats;
  for (const StandardFormat& format : standard_formats)
    if (takes(kind, format)) formats.push_back(&format);
  return formats;
}

std::optional<floppy_struct> floppy_params(const StandardFormat& format, FloppyDriveKind kind) {
  if (!takes(kind, format)) return std::nullopt;
  for (const Row& row : rows) {
    if (row.name != format.name) continue;
    floppy_struct params{};
    params.size = static_cast<unsigned int>(format.size / standard_sector_size);
    params.sect = format.sectors_per_track;
    params.head = format.heads;
    params.track = format.cylinders;
    params.gap = row.gap;
    params.rate = row.rate;
    params.spec1 = row.spec1;
    params.fmt_gap = row.fmt_gap;
    // A 40-cylinder disk in a 1.2 MB drive: the drive steps twice per
    // cylinder and spins at 360 rpm, so 250 kbit/s media go at 300.
    if (format.cylinders == 40 && kind == FloppyDriveKind::hd_525) {
      params.stretch = FD_STRETCH;
      params.gap = 0x23;
      params.rate = rate_300k;
    }
    return params;
  }
  return std::nullopt;
}

}  // namespace tessil::platform::linux_os
