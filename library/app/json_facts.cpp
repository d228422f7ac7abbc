#include "app/json_facts.h"

#include <string>

#include "platform/error_words.h"

namespace tessil::app {

std::string_view kind_key(platform::DriveKind kind) {
  switch (kind) {
    case platform::DriveKind::floppy_controller:
      return "floppy-controller";
    case platform::DriveKind::usb_floppy:
      return "usb-floppy";
    case platform::DriveKind::environment:
      return "environment";
  }
  return "unknown";
}

Json geometry_json(const ImageHeader& g) {
  return Json{{"cylinders", g.cylinders},
              {"heads", g.tracks_per_cylinder},
              {"sectors_per_track", g.sectors_per_track},
              {"bytes_per_sector", g.bytes_per_sector}};
}

Json drive_json(const DriveFacts& drive) {
  Json out{{"letter", std::string(1, drive.letter)},
           {"device", drive.device},
           {"kind", kind_key(drive.kind)},
           {"disk", drive.has_disk}};
  out["formats"] = Json::array();
  for (const StandardFormat* format : drive.formats) out["formats"].push_back(format->name);
  if (drive.has_disk) {
    out["geometry"] = geometry_json(header_of(drive.info));
    out["size"] = drive.info.size;
    out["media_type"] = drive.info.media_type;
    if (const StandardFormat* format = disk_format(drive)) out["format"] = format->name;
  } else {
    out["reason"] = platform::error_words(drive.reason);
  }
  return out;
}

Json image_json(const ImageFacts& image) {
  Json out{{"file", image.path},
           {"kind", image.raw() ? "raw" : "tessil"},
           {"label", image.header.label},
           {"geometry", geometry_json(image.header)},
           {"geometry_size", image.geometry_size},
           {"data_size", image.data_size},
           {"complete", image.complete()}};
  if (!image.missing.empty()) out["incomplete_because"] = image.missing;
  if (image.boot_format) out["boot_sector_format"] = image.boot_format->name;
  if (!image.checksums.empty()) {
    out["sha256"] = image.checksums.sha256;
    out["md5"] = image.checksums.md5;
  }
  return out;
}

}  // namespace tessil::app
