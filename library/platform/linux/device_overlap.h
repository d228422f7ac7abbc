// Whether two paths reach the same storage: the same file, the same disk
// (whole or through a partition), a loop device and the file or disk behind
// it, a mapped device and the disks under it. A job never copies a drive
// onto storage that the drive itself stands on.
#pragma once

#include <sys/types.h>

#include <filesystem>

namespace tessil::platform::linux_os {

// True when writing through one path could change what the other reads. A
// path that does not exist overlaps nothing. `sys_root` is where the
// kernel's device tree is read.
bool paths_overlap(const char* a, const char* b, const std::filesystem::path& sys_root = "/sys");

// True when the file with this device and inode number stands behind a loop
// device, and so may be in use as a disk, even a mounted one.
bool backs_loop_device(dev_t device, ino_t inode, const std::filesystem::path& sys_root = "/sys");

}  // namespace tessil::platform::linux_os
