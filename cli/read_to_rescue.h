// From a plain read that failed to a rescue: the read names the first
// sector it could not read and the command that rescues the rest.
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

}  // namespace tessil::cli
