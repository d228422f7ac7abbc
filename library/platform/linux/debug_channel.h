// The debugger output channel: silent unless TESSIL_DEBUG names a file (or
// the word `stderr`), then every line is appended there. Usable from any
// thread and from the library's load and unload notices, which run before
// and after the library's static objects live.
#pragma once

#include <string_view>

#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

// Appends `line` as it is, with one write().
void debug_write(std::string_view line);

// Where the lines go as a descriptor of its own, TESSIL_DEBUG read anew;
// /dev/null when they go nowhere. Empty only when even that failed.
UniqueFd open_debug_destination();

// Makes the next line read TESSIL_DEBUG again. For tests only; no other
// thread may write a line meanwhile.
void reread_debug_target_for_testing();

}  // namespace tessil::platform::linux_os
