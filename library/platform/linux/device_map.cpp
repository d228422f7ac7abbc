#include "platform/linux/device_map.h"

#include <cstdlib>

namespace tessil::platform::linux_os {

namespace {
constexpr std::string_view device_prefix = "\\\\.\\";
}

DeviceSources system_sources() {
  return {[](const std::string& name) -> std::optional<std::string> {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
  }};
}

std::optional<char> drive_letter_of(std::string_view device_path) {
  if (!device_path.starts_with(device_prefix)) return std::nullopt;
  device_path.remove_prefix(device_prefix.size());
  if (device_path.size() != 2 || device_path[1] != ':') return std::nullopt;
  const char c = device_path[0];
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'Z') return c;
  return std::nullopt;
}

std::optional<std::string> resolve_device(std::string_view device_path,
                                          const DeviceSources& sources) {
  const std::optional<char> letter = drive_letter_of(device_path);
  if (!letter) return std::nullopt;
  if (sources.environment) {
    std::optional<std::string> chosen =
        sources.environment(std::string("TESSIL_DRIVE_") + *letter);
    if (chosen && !chosen->empty()) return chosen;
  }
  if (*letter == 'A') return "/dev/fd0";
  if (*letter == 'B') return "/dev/fd1";
  return std::nullopt;
}

}  // namespace tessil::platform::linux_os
