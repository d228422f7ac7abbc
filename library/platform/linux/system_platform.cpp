// The factory of the system's own platform on Linux.
#include <cstddef>
#include <memory>
#include <type_traits>

#include "platform/linux/linux_platform.h"

namespace tessil::platform {

Platform& system() {
  // Built on first use and never destroyed: the unload notice reaches it
  // after every static destructor has run.
  struct Storage {
    alignas(linux_os::LinuxPlatform) std::byte bytes[sizeof(linux_os::LinuxPlatform)];
  };
  static_assert(std::is_trivially_destructible_v<Storage>);
  static Storage storage;
  static linux_os::LinuxPlatform* const instance =
      std::construct_at(reinterpret_cast<linux_os::LinuxPlatform*>(storage.bytes));
  return *instance;
}

}  // namespace tessil::platform
