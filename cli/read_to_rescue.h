// From a plain read that failed to a rescue: the read names the first
// sector it could not read and the command that rescues the rest, and that
// rescue takes what the read got as rescued.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace tessil::cli {

// Says on standard error where the read of drive `letter` stopped, `done`
// bytes in, and the rescue command that goes on from there. `session`:
// the drive as the command holds it; may be null.
void tell_where_read_failed(char letter, platform::DriveSession* session, uint64_t done,
                            const std::string& image);

// The map of `image` when its report IMAGE.json records a plain read that
// failed: the bytes the image holds of the disk, rescued, and the rest not
// tried. Nothing when the report records no such read, or no longer
// describes the file.
std::optional<std::string> map_of_failed_read(const std::string& image);

}  // namespace tessil::cli
