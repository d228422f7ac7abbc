#include "platform/platform.h"

#include <atomic>

namespace tessil::platform {

namespace {
std::atomic<Platform*> substitute_platform{nullptr};
}

Platform& current() {
  Platform* fake = substitute_platform.load(std::memory_order_acquire);
  return fake ? *fake : system();
}

void substitute(Platform* fake) {
  substitute_platform.store(fake, std::memory_order_release);
}

}  // namespace tessil::platform
