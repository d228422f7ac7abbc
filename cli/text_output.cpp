#include "text_output.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/format_names.h"
#include "describe.h"

namespace tessil::cli {

namespace {

std::string disk_text(const app::DriveFacts& drive) {
  if (platform::not_authorised(drive.reason)) return "not authorised";
  if (!drive.has_disk) return "no disk";
  return std::to_string(drive.info.size) + " bytes (" + geometry_short(header_of(drive.info)) + ")";
}

void print_fact(const char* name, const std::string& value) {
  std::printf("%-10s %s\n", name, value.c_str());
}

// "720K 1.44M 2.88M", as --type takes them; "-" for none.
std::string formats_text(const std::vector<const StandardFormat*>& formats) {
  std::string text;
  for (const StandardFormat* format : formats)
    text += (text.empty() ? "" : " ") + app::folded_format_name(format->name);
  return text.empty() ? "-" : text;
}

}  // namespace

void print_drive_table(const std::vector<app::DriveFacts>& drives) {
  if (drives.empty()) {
    std::puts(
        "No drives. A floppy drive shows here once tessil-cli may open it:\n"
        "  be in the group that owns its device (often \"disk\" or \"floppy\"),\n"
        "  or have udisks2 running, which asks polkit;\n"
        "  a file stands in for a drive with TESSIL_DRIVE_A=FILE (B to Z alike).");
    return;
  }
  int device_width = static_cast<int>(std::string_view("DEVICE").size());
  for (const app::DriveFacts& drive : drives)
    device_width = std::max(device_width, static_cast<int>(drive.device.size()));
  int disk_width = static_cast<int>(std::string_view("DISK").size());
  for (const app::DriveFacts& drive : drives)
    disk_width = std::max(disk_width, static_cast<int>(disk_text(drive).size()));
  std::printf("%-6s %-*s %-18s %-*s %s\n", "DRIVE", device_width, "DEVICE", "KIND", disk_width,
              "DISK", "FORMATS");
  for (const app::DriveFacts& drive : drives)
    std::printf("%-6c %-*s %-18s %-*s %s\n", drive.letter, device_width, drive.device.c_str(),
                std::string(kind_text(drive.kind)).c_str(), disk_width, disk_text(drive).c_str(),
                formats_text(drive.formats).c_str());
}

void print_drive(const app::DriveFacts& drive) {
  print_fact("Drive:", std::string(1, drive.letter));
  print_fact("Device:", drive.device);
  print_fact("Kind:", std::string(kind_text(drive.kind)));
  if (!drive.formats.empty()) print_fact("Formats:", formats_text(drive.formats));
  if (platform::not_authorised(drive.reason)) {
    print_fact("Disk:", std::string(platform::error_words(drive.reason)));
    return;
  }
  if (!drive.has_disk) {
    print_fact("Disk:", drive.reason == platform::Error::no_medium
                            ? std::string("no disk")
                            : "no disk (" + std::string(platform::error_words(drive.reason)) + ")");
    return;
  }
  print_fact("Geometry:", geometry_text(header_of(drive.info)));
  if (const StandardFormat* format = app::disk_format(drive))
    print_fact("Format:", std::string(format->name));
  print_fact("Size:",
             std::to_string(drive.info.size) + " bytes (" + human_size(drive.info.size) + ")");
}

void print_checksums(const Checksums& sums) {
  if (sums.empty()) return;
  print_fact("SHA-256:", sums.sha256);
  print_fact("MD5:", sums.md5);
}

void print_image(const app::ImageFacts& image) {
  print_fact("Image:", printable(image.path));
  const std::string format =
      image.boot_format ? std::string(image.boot_format->name) + ", from its FAT boot sector"
                        : std::string("none from a FAT boot sector");
  if (image.kind == ImageKind::neither) {
    print_fact("Kind:", "short raw image, by its name: " +
                            grouped(app::sectors_in(image.file_size)) + " sectors (" +
                            grouped(image.file_size) + " bytes), written with zeros after its end");
    print_fact("Format:", format);
    return;
  }
  if (image.boot_format) print_fact("Format:", format);
  print_fact("Kind:", kind_text(image));
  print_fact("Label:", image.raw() ? std::string("none (a raw image has no label)")
                                   : printable(image.header.label));
  print_fact("Geometry:", geometry_text(image.header));
  std::string data = std::to_string(image.data_size) + " bytes";
  if (image.complete()) {
    data += ", complete";
  } else if (!image.missing.empty()) {
    data += ", incomplete: " + printable(image.missing);
  } else if (!image.whole_header) {
    data += ", incomplete: the header is cut short";
  } else {
    data += ", incomplete: the geometry needs " + std::to_string(image.geometry_size);
  }
  print_fact("Data:", data);
  print_checksums(image.checksums);
}

}  // namespace tessil::cli
