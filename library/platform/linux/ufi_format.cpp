#include "platform/linux/ufi_format.h"

namespace tessil::platform::linux_os {

std::vector<const StandardFormat*> ufi_formats(int fd) {
  (void)fd;
  return {};
}

std::unique_ptr<DiskFormatter> ufi_formatter(UniqueFd fd, Error& error) {
  (void)fd;
  error = Error::other;
  return nullptr;
}

}  // namespace tessil::platform::linux_os
