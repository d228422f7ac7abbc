// The JSON documents of --json: one document on standard output, with the
// same facts as the text, for scripts.
#pragma once

#include <nlohmann/json.hpp>

#include "drive_facts.h"
#include "image_facts.h"

namespace tessil::cli {

using Json = nlohmann::ordered_json;

// "floppy-controller", "usb-floppy", "environment".
std::string_view kind_key(platform::DriveKind kind);
// cylinders, heads, sectors_per_track, bytes_per_sector.
Json geometry_json(const ImageHeader& geometry);

Json drive_json(const DriveFacts& drive);
Json image_json(const ImageFacts& image);

// Writes `document` to standard output. Labels and paths are bytes, not
// always UTF-8: what is not valid UTF-8 is replaced, never a failure.
void print_json(const Json& document);

}  // namespace tessil::cli
