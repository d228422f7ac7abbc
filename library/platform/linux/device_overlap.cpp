#include "platform/linux/device_overlap.h"

#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <charconv>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "platform/linux/sysfs.h"
#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

namespace {

namespace fs = std::filesystem;

// Everything a path's bytes are kept on.
struct Storage {
  std::set<dev_t> disks;                    // whole disks
  std::set<std::pair<dev_t, ino_t>> files;  // files, by file system and inode
};

// Layers enough for a partition of a loop device over a file on a mapped
// disk; a loop of loops stops here instead of running for ever.
constexpr int max_layers = 8;

// A device number written as sysfs writes it, "7:0".
std::optional<dev_t> device_number(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  const char* const end = text->data() + text->size();
  unsigned major_number = 0;
  unsigned minor_number = 0;
  const auto [colon, major_error] = std::from_chars(text->data(), end, major_number);
  if (major_error != std::errc{} || colon == end || *colon != ':') return std::nullopt;
  const auto [stop, minor_error] = std::from_chars(colon + 1, end, minor_number);
  if (minor_error != std::errc{} || stop != end) return std::nullopt;
  return makedev(major_number, minor_number);
}

fs::path block_directory(const fs::path& sys_root, dev_t number) {
  return sys_root / "dev/block" /
         (std::to_string(major(number)) + ":" + std::to_string(minor(number)));
}

// What stands behind the loop device whose sysfs directory is `disk`, as a
// stat record (kind, device and inode, or the device number of a disk).
// The device itself answers when it can be opened: it names the file even
// when its path means nothing here. Otherwise the path sysfs gives.
std::optional<struct stat> loop_backing(const fs::path& disk, dev_t number) {
  const std::optional<std::string> path = read_attribute(disk / "loop/backing_file");
  if (!path) return std::nullopt;  // not a loop device, or nothing attached

  std::error_code error;
  const fs::path node = fs::path("/dev") / fs::canonical(disk, error).filename();
  struct stat info {};
  if (!error) {
    // A loop device never waits on open, and only looking needs no claim.
    const UniqueFd fd = open_fd(node.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    loop_info64 status{};
    if (fd && ::fstat(fd.get(), &info) == 0 && S_ISBLK(info.st_mode) && info.st_rdev == number &&
        ::ioctl(fd.get(), LOOP_GET_STATUS64, &status) == 0) {
      info = {};
      info.st_dev = static_cast<dev_t>(status.lo_device);
      info.st_ino = static_cast<ino_t>(status.lo_inode);
      info.st_rdev = static_cast<dev_t>(status.lo_rdevice);
      // Only a device has a device number of its own.
      info.st_mode = info.st_rdev != 0 ? S_IFBLK : S_IFREG;
      return info;
    }
  }
  if (::stat(path->c_str(), &info) != 0) return std::nullopt;
  return info;
}

void add_storage(Storage& storage, const struct stat& info, const fs::path& sys_root, int layers);

void add_disk(Storage& storage, dev_t number, const fs::path& sys_root, int layers) {
  fs::path disk = block_directory(sys_root, number);
  // A partition is part of its whole disk: any two partitions of one disk,
  // or a partition and the disk, overlap.
  if (read_attribute(disk / "partition")) {
    if (const std::optional<dev_t> whole = device_number(read_attribute(disk / ".." / "dev"))) {
      number = *whole;
      disk = block_directory(sys_root, number);
    }
  }
  if (!storage.disks.insert(number).second || layers == 0) return;

  if (const std::optional<struct stat> backing = loop_backing(disk, number))
    add_storage(storage, *backing, sys_root, layers - 1);
  // A mapped device (LVM, encryption, RAID) writes onto the disks under it.
  std::error_code error;
  fs::directory_iterator under(disk / "slaves", error);
  for (; !error && under != fs::directory_iterator(); under.increment(error))
    if (const std::optional<dev_t> n = device_number(read_attribute(under->path() / "dev")))
      add_disk(storage, *n, sys_root, layers - 1);
}

void add_storage(Storage& storage, const struct stat& info, const fs::path& sys_root, int layers) {
  if (S_ISBLK(info.st_mode))
    add_disk(storage, info.st_rdev, sys_root, layers);
  else if (S_ISREG(info.st_mode))
    storage.files.emplace(info.st_dev, info.st_ino);
}

std::optional<Storage> storage_of(const char* path, const fs::path& sys_root) {
  struct stat info {};
  if (!path || ::stat(path, &info) != 0) return std::nullopt;
  Storage storage;
  add_storage(storage, info, sys_root, max_layers);
  return storage;
}

template <typename T>
bool share_any(const std::set<T>& a, const std::set<T>& b) {
  for (const T& item : a)
    if (b.contains(item)) return true;
  return false;
}

}  // namespace

bool paths_overlap(const char* a, const char* b, const fs::path& sys_root) {
  const std::optional<Storage> first = storage_of(a, sys_root);
  if (!first) return false;
  const std::optional<Storage> second = storage_of(b, sys_root);
  return second &&
         (share_any(first->disks, second->disks) || share_any(first->files, second->files));
}

bool backs_loop_device(dev_t device, ino_t inode, const fs::path& sys_root) {
  std::error_code error;
  fs::directory_iterator entry(sys_root / "block", error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    const std::optional<dev_t> number = device_number(read_attribute(entry->path() / "dev"));
    if (!number) continue;
    const std::optional<struct stat> backing = loop_backing(entry->path(), *number);
    if (backing && S_ISREG(backing->st_mode) && backing->st_dev == device &&
        backing->st_ino == inode)
      return true;
  }
  return false;
}

}  // namespace tessil::platform::linux_os
