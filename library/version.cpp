#include "version.h"

#include "tessil.h"

namespace tessil {

int32_t classify_version(const platform::VersionInfo& v) {
  switch (v.platform_id) {
    case 1:
      if (v.major != 4) return 2;
      if (v.minor == 0) return 1;
      if (v.minor == 90) return 3;
      return 2;
    case 2:
      if (v.major <= 4) return 4;
      if (v.major == 5) return v.minor == 0 ? 5 : 6;
      return 7;
    default:
      return 0;
  }
}

}  // namespace tessil
