#include "progress.h"

#include <cmath>
#include <limits>

namespace tessil {

namespace {

int32_t percent_of(double total, double done) {
  const double p = std::trunc((100.0 / total) * done);
  // Only a total far below the bytes done can leave the 32-bit range; keep
  // the conversion defined there.
  if (p >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  if (p <= static_cast<double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(p);
}

}  // namespace

int32_t calcporcentage(int32_t total, uint32_t done) {
  if (total == 0 || done == 0) return 0;
  return percent_of(total, done);
}

int32_t progress_percent(uint64_t total, uint64_t done) {
  if (total == 0 || done == 0) return 0;
  return percent_of(static_cast<double>(total), static_cast<double>(done));
}

}  // namespace tessil
