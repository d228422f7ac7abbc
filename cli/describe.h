// The words and numbers shown to people: drive kinds, failure reasons,
// geometries and sizes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "geometry.h"
#include "platform/error_words.h"
#include "platform/platform.h"
#include "tessil.h"

namespace tessil::cli {

// `text` (a label, a volume or file name, a path: anything that came from
// a disk, an image or a user) safe for a terminal: control characters are
// shown escaped, "\\x1b", "\\n", never sent.
std::string printable(std::string_view text);

// "floppy controller", "USB floppy", "environment".
std::string_view kind_text(platform::DriveKind kind);

// "80 cylinders, 2 heads, 18 sectors per track, 512 bytes per sector".
std::string geometry_text(const ImageHeader& geometry);

// "80 x 2 x 18 x 512", for tables.
std::string geometry_short(const ImageHeader& geometry);

// Thousands apart, as sizes are read: 1,474,560.
std::string grouped(uint64_t number);

// A size for people: "512 B", "1440 KiB", "64.0 MiB".
std::string human_size(uint64_t bytes);

// A disk's size as people call it: "1.44 MB" for a standard format, else
// its size in bytes with its geometry.
std::string disk_size_words(const ImageHeader& geometry);

// "drive A (/dev/fd0)", or "drive A" when nothing stands behind the letter.
std::string drive_text(char letter, std::string_view device);

}  // namespace tessil::cli
