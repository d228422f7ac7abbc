// Reading what is on the medium rather than what the system remembers of
// it. Two copies can stand between a program and a disk: the kernel's page
// cache of the device, and the floppy driver's own track buffer.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace tessil::platform::linux_os {

// Drops every clean cached block of the open drive `fd`: the page cache's
// pages (posix_fadvise DONTNEED, and BLKFLSBUF where the caller may), and
// on a floppy-controller drive the driver's track buffer (FDFLUSH). Dirty
// blocks are not dropped, so call it after fsync. Best effort: a device
// that refuses one of these keeps what it has, and nothing fails.
void drop_cached_blocks(int fd);

class UdisksHold;

// A drive opened read-only and exclusive to compare its medium with an
// image: flushed and dropped from the caches first, then read with O_DIRECT
// on a block device (the page cache is bypassed altogether), or with plain
// reads where O_DIRECT is not to be had. Through `hold`, when a command
// holds the drive, it is a copy of the held descriptor, which gets its
// file status flags back when the reader is done.
std::unique_ptr<Drive> open_drive_to_verify(const std::string& path, Error& error,
                                            UdisksHold* hold = nullptr);

}  // namespace tessil::platform::linux_os
