#include "describe.h"

#include <cinttypes>
#include <cstdio>

#include "standard_formats.h"

namespace tessil::cli {

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    // C1 controls arrive in UTF-8 as 0xC2 0x80 to 0xC2 0x9F.
    const bool c1 = byte == 0xC2 && i + 1 < text.size() &&
                    (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80;
    if (byte >= 0x20 && byte != 0x7F && !c1) {
      out += text[i];
      continue;
    }
    if (byte == '\n') {
      out += "\\n";
    } else if (byte == '\t') {
      out += "\\t";
    } else {
      const unsigned char shown = c1 ? static_cast<unsigned char>(text[++i]) : byte;
      static constexpr char hex[] = "0123456789abcdef";
      out += "\\x";
      out += hex[shown >> 4];
      out += hex[shown & 0xF];
    }
  }
  return out;
}

std::string_view kind_text(platform::DriveKind kind) {
  switch (kind) {
    case platform::DriveKind::floppy_controller:
      return "floppy controller";
    case platform::DriveKind::usb_floppy:
      return "USB floppy";
    case platform::DriveKind::environment:
      return "environment";
  }
  return "unknown";
}

std::string geometry_text(const ImageHeader& g) {
  char text[160];
  std::snprintf(text, sizeof text,
                "%" PRIu32 " cylinders, %" PRIu32 " heads, %" PRIu32 " sectors per track, %" PRIu32
                " bytes per sector",
                g.cylinders, g.tracks_per_cylinder, g.sectors_per_track, g.bytes_per_sector);
  return text;
}

std::string geometry_short(const ImageHeader& g) {
  char text[80];
  std::snprintf(text, sizeof text, "%" PRIu32 " x %" PRIu32 " x %" PRIu32 " x %" PRIu32,
                g.cylinders, g.tracks_per_cylinder, g.sectors_per_track, g.bytes_per_sector);
  return text;
}

std::string disk_size_words(const ImageHeader& g) {
  if (const StandardFormat* format = standard_format_of(g.cylinders, g.tracks_per_cylinder,
                                                        g.sectors_per_track, g.bytes_per_sector))
    return std::string(format->name);
  const uint64_t size =
      uint64_t(g.cylinders) * g.tracks_per_cylinder * g.sectors_per_track * g.bytes_per_sector;
  return human_size(size) + " (" + geometry_short(g) + ")";
}

std::string human_size(uint64_t bytes) {
  constexpr uint64_t kib = 1024;
  constexpr uint64_t mib = kib * kib;
  char text[40];
  if (bytes < kib) {
    std::snprintf(text, sizeof text, "%" PRIu64 " B", bytes);
  } else if (bytes < 10 * mib) {
    // Floppy sizes read best in whole KiB: 360, 720, 1440.
    std::snprintf(text, sizeof text, "%" PRIu64 " KiB", bytes / kib);
  } else {
    std::snprintf(text, sizeof text, "%.1f MiB",
                  static_cast<double>(bytes) / static_cast<double>(mib));
  }
  return text;
}

std::string grouped(uint64_t number) {
  std::string digits = std::to_string(number);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

std::string drive_text(char letter, std::string_view device) {
  std::string text = "drive ";
  text += letter;
  if (!device.empty()) text.append(" (").append(device).append(")");
  return text;
}

}  // namespace tessil::cli
