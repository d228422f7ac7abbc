// What stands behind a drive letter: the device path the library builds
// (\\.\A:) resolved to a device node or image file, afresh at every use so
// that a drive plugged in later is found at once.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tessil::platform::linux_os {

// Where resolution looks. Tests put their own environment and fake trees
// here.
struct DeviceSources {
  std::function<std::optional<std::string>(const std::string& name)> environment;
  std::filesystem::path sys_root = "/sys";
  std::filesystem::path dev_root = "/dev";
  std::filesystem::path udev_data = "/run/udev/data";
};

// The running process's own sources.
DeviceSources system_sources();

// The drive letter (upper case) of a device path \\.\X:, or nothing when the
// text is not one ASCII letter.
std::optional<char> drive_letter_of(std::string_view device_path);

// The machine's floppy drives by letter, as device node paths: controller
// drives on their own letters (fd0 is A, fd1 is B), then USB floppy drives
// in the kernel's order on the letters still free. Only whole disks that are
// floppy drives; a USB stick or a hard disk is never one.
std::map<char, std::string> discover_floppy_drives(const DeviceSources& sources);

// The file system path behind a device path: TESSIL_DRIVE_<LETTER> when it
// is set and not empty, else the floppy drive found for the letter, else
// /dev/fd0 for A and /dev/fd1 for B when that node exists. Nothing
// otherwise, or for a malformed path.
std::optional<std::string> resolve_device(std::string_view device_path,
                                          const DeviceSources& sources);

// True when the whole disk major:minor is a USB floppy drive: its USB
// interface is UFI mass storage, or udev took it for a floppy drive.
bool usb_floppy_disk(unsigned major, unsigned minor, const DeviceSources& sources);

// Every letter that stands for a device, in letter order: the letters the
// environment names, then the floppy drives found on the other letters.
std::vector<DriveEntry> drive_letters(const DeviceSources& sources);

}  // namespace tessil::platform::linux_os
