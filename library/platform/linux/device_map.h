// What stands behind a drive letter: the device path the library builds
// (\\.\A:) resolved to a device node or image file, afresh at every use so
// that a drive plugged in later is found at once.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tessil::platform::linux_os {

// Where resolution looks. Tests inject their own environment.
struct DeviceSources {
  std::function<std::optional<std::string>(const std::string& name)> environment;
};

// The running process's own sources.
DeviceSources system_sources();

// The drive letter (upper case) of a device path \\.\X:, or nothing when the
// text is not one ASCII letter.
std::optional<char> drive_letter_of(std::string_view device_path);

// The file system path behind a device path: TESSIL_DRIVE_<LETTER> when it
// is set and not empty, else A is /dev/fd0 and B is /dev/fd1. Nothing for
// any other letter or a malformed path.
std::optional<std::string> resolve_device(std::string_view device_path,
                                          const DeviceSources& sources);

}  // namespace tessil::platform::linux_os
