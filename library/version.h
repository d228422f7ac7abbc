// The class of the running system, which decides whether the program runs.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace tessil {

// 0: not recognised; 1 to 3: the 95 family (95, 98, Me); 4: NT 4.0 and
// older; 5: 2000; 6: XP and Server 2003; 7: Vista and later.
int32_t classify_version(const platform::VersionInfo& version);

}  // namespace tessil
