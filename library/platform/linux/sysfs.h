// Reading the kernel's device attributes: small text files under /sys.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

// The attribute's text without its trailing newline, or nothing when it
// cannot be read. Attributes are a line or two; longer ones are cut.
inline std::optional<std::string> read_attribute(const std::filesystem::path& path) {
  const UniqueFd fd = open_fd(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (!fd) return std::nullopt;
  std::array<char, 256> buffer;
  ssize_t n;
  do {
    n = ::read(fd.get(), buffer.data(), buffer.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) return std::nullopt;
  std::string text(buffer.data(), static_cast<std::size_t>(n));
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace tessil::platform::linux_os
