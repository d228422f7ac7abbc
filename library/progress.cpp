#include "progress.h"

#include <cmath>
#include <limits>

namespace tessil {

int32_t calcporcentage(int32_t total, uint32_t done) {
  if (total == 0 || done == 0) return 0;
  const double q = 100.0 / total;
  const double p = std::trunc(q * done);
  // Only a total far below the bytes done can leave the 32-bit range; keep
  // the conversion defined there.
  if (p >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  if (p <= static_cast<double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(p);
}

}  // namespace tessil
