// What the medium in a drive looks like: its geometry and media type, from
// the floppy driver's parameters or from its size.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "standard_formats.h"

namespace tessil::platform::linux_os {

// Media type numbers the geometry query prints.
inline constexpr uint32_t media_removable = 11;
inline constexpr uint32_t media_fixed = 12;

// The size table is shared with image recognition and the window.
using tessil::standard_format_of;
using tessil::StandardFormat;

// Geometry of a medium known only by its size: a standard floppy format
// when the size is one (and sectors are 512 bytes), otherwise one sector per
// track and one track per cylinder. `sector_size` is the device's logical
// sector size, 512 for a file.
DriveGeometry geometry_from_size(uint64_t size, uint32_t sector_size, bool removable);

// Geometry as the floppy driver reports it (FDGETPRM); `total_sectors`
// counts 512-byte sectors.
DriveGeometry geometry_from_floppy(uint32_t cylinders, uint32_t heads, uint32_t sectors_per_track,
                                   uint64_t total_sectors);

// True when the block device major:minor holds removable media: its
// `removable` attribute (the whole disk's, for a partition) is 1.
bool block_device_removable(unsigned major, unsigned minor,
                            const std::filesystem::path& sys_root = "/sys");

class UdisksHold;

// The geometry of the medium behind `path` (a floppy device, another block
// device or an image file). Waits for a floppy drive to learn the disk.
// A node this user may not open is asked of udisks2, through `hold` when
// a command holds the drive.
Error query_medium(const std::string& path, DriveGeometry& out, UdisksHold* hold = nullptr);

}  // namespace tessil::platform::linux_os
