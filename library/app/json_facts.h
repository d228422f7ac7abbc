// The facts of drives and images as JSON, in the one shape that --json and
// the archival reports share.
#pragma once

#include <nlohmann/json.hpp>

#include "app/drive_facts.h"
#include "app/image_facts.h"

namespace tessil::app {

using Json = nlohmann::ordered_json;

// "floppy-controller", "usb-floppy", "environment".
std::string_view kind_key(platform::DriveKind kind);
// cylinders, heads, sectors_per_track, bytes_per_sector.
Json geometry_json(const ImageHeader& geometry);

Json drive_json(const DriveFacts& drive);
Json image_json(const ImageFacts& image);

}  // namespace tessil::app
