#include "platform/linux/device_map.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "platform/linux/sysfs.h"

namespace tessil::platform::linux_os {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view device_prefix = "\\\\.\\";

// The drive number of a floppy-controller disk ("fd0" is 0).
std::optional<unsigned> controller_drive_number(std::string_view name) {
  if (!name.starts_with("fd") || name.size() == 2) return std::nullopt;
  unsigned number = 0;
  const char* end = name.data() + name.size();
  const auto [stop, error] = std::from_chars(name.data() + 2, end, number);
  if (error != std::errc{} || stop != end) return std::nullopt;
  return number;
}

// The nearest USB interface above the disk is UFI mass storage (class 08,
// subclass 04): the command set of USB floppy drives.
bool on_ufi_interface(const fs::path& sys_root, const fs::path& disk) {
  std::error_code error;
  const fs::path root = fs::canonical(sys_root, error);
  if (error) return false;
  fs::path at = fs::canonical(disk / "device", error);
  if (error) return false;
  for (; at != root && at != at.parent_path(); at = at.parent_path()) {
    const std::optional<std::string> interface_class = read_attribute(at / "bInterfaceClass");
    if (interface_class)
      return interface_class == "08" && read_attribute(at / "bInterfaceSubClass") == "04";
  }
  return false;
}

// udev's own verdict, from its database record for the disk.
bool udev_marks_floppy(const fs::path& udev_data, const fs::path& disk) {
  const std::optional<std::string> numbers = read_attribute(disk / "dev");
  if (!numbers) return false;
  std::ifstream record(udev_data / ("b" + *numbers));
  for (std::string line; std::getline(record, line);)
    if (line == "E:ID_DRIVE_FLOPPY=1" || line == "E:ID_TYPE=floppy") return true;
  return false;
}

// The disk's node under /dev: its DEVNAME, else its name with the '!' that
// stands for '/' in sysfs names.
std::string node_name(const fs::path& disk, std::string name) {
  if (const std::optional<std::string> uevent = read_attribute(disk / "uevent")) {
    std::string_view text = *uevent;
    while (!text.empty()) {
      const std::string_view line = text.substr(0, text.find('\n'));
      if (line.starts_with("DEVNAME=") && line.size() > 8) return std::string(line.substr(8));
      text.remove_prefix(std::min(text.size(), line.size() + 1));
    }
  }
  std::replace(name.begin(), name.end(), '!', '/');
  return name;
}

// The environment names the device behind `letter` itself.
std::optional<std::string> chosen_device(const DeviceSources& sources, char letter) {
  if (!sources.environment) return std::nullopt;
  std::optional<std::string> chosen = sources.environment(std::string("TESSIL_DRIVE_") + letter);
  if (!chosen || chosen->empty()) return std::nullopt;
  return chosen;
}

}  // namespace

DeviceSources system_sources() {
  DeviceSources sources;
  sources.environment = [](const std::string& name) -> std::optional<std::string> {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
  };
  return sources;
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

std::map<char, std::string> discover_floppy_drives(const DeviceSources& sources) {
  std::map<char, std::string> drives;
  std::vector<std::pair<std::string, std::string>> usb;  // sysfs name, node

  // /sys/block lists whole disks only; partitions live below them.
  std::error_code error;
  fs::directory_iterator entry(sources.sys_root / "block", error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    const fs::path& disk = entry->path();
    std::string name = disk.filename().string();
    if (read_attribute(disk / "partition")) continue;
    if (const std::optional<unsigned> number = controller_drive_number(name)) {
      if (*number < 26) drives.emplace(static_cast<char>('A' + *number), node_name(disk, name));
    } else if (on_ufi_interface(sources.sys_root, disk) ||
               udev_marks_floppy(sources.udev_data, disk)) {
      std::string node = node_name(disk, name);
      usb.emplace_back(std::move(name), std::move(node));
    }
  }

  // The kernel's order: sdb before sdc before sdaa.
  std::sort(usb.begin(), usb.end(), [](const auto& a, const auto& b) {
    return std::pair(a.first.size(), a.first) < std::pair(b.first.size(), b.first);
  });
  // A letter that the environment names is not free either, so a USB floppy
  // stays reachable beside a drive pointed at a file.
  char letter = 'A';
  for (const auto& [name, node] : usb) {
    while (letter <= 'Z' && (drives.contains(letter) || chosen_device(sources, letter))) ++letter;
    if (letter > 'Z') break;
    drives.emplace(letter, node);
  }

  for (auto& [drive_letter, node] : drives) node = (sources.dev_root / node).string();
  return drives;
}

std::optional<std::string> resolve_device(std::string_view device_path,
                                          const DeviceSources& sources) {
  const std::optional<char> letter = drive_letter_of(device_path);
  if (!letter) return std::nullopt;
  if (std::optional<std::string> chosen = chosen_device(sources, *letter)) return chosen;
  std::map<char, std::string> drives = discover_floppy_drives(sources);
  if (const auto found = drives.find(*letter); found != drives.end())
    return std::move(found->second);
  // A controller drive that sysfs does not show but whose node exists.
  if (*letter == 'A' || *letter == 'B') {
    const fs::path node = sources.dev_root / (*letter == 'A' ? "fd0" : "fd1");
    std::error_code error;
    if (fs::exists(node, error)) return node.string();
  }
  return std::nullopt;
}

bool usb_floppy_disk(unsigned major, unsigned minor, const DeviceSources& sources) {
  const fs::path disk =
      sources.sys_root / "dev/block" / (std::to_string(major) + ":" + std::to_string(minor));
  return on_ufi_interface(sources.sys_root, disk) || udev_marks_floppy(sources.udev_data, disk);
}

std::vector<DriveEntry> drive_letters(const DeviceSources& sources) {
  std::vector<DriveEntry> letters;
  const std::map<char, std::string> found = discover_floppy_drives(sources);
  const std::string controller_prefix = (sources.dev_root / "fd").string();
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    if (std::optional<std::string> chosen = chosen_device(sources, letter)) {
      letters.push_back({letter, std::move(*chosen), DriveKind::environment});
    } else if (const auto drive = found.find(letter); drive != found.end()) {
      const bool controller = drive->second.starts_with(controller_prefix);
      letters.push_back({letter, drive->second,
                         controller ? DriveKind::floppy_controller : DriveKind::usb_floppy});
    }
  }
  return letters;
}

}  // namespace tessil::platform::linux_os
