// Progress of a job in percent.
#pragma once

#include <cstdint>

namespace tessil {

// (100.0 / total) * done, divided first, truncated toward zero and not
// clamped; 0 when either value is 0. `total` is the disk size as a signed
// 32-bit value, `done` the bytes moved so far.
int32_t calcporcentage(int32_t total, uint32_t done);

// The same arithmetic on the whole byte counts, so that a drive of 2 GiB or
// more still goes from 0 to 100. Equal to calcporcentage below 2 GiB.
int32_t progress_percent(uint64_t total, uint64_t done);

}  // namespace tessil
