// Formatting a disk in a floppy-controller drive (/dev/fdN) through the
// floppy driver: the format's parameters set for the drive, then one
// format command per track.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/handles.h"

namespace tessil::platform::linux_os {

// The standard formats the floppy-controller drive at `path` can take, by
// the drive kind the driver reports; empty when it is no such drive.
std::vector<const StandardFormat*> controller_formats(const std::string& path);

// The drive at `path` held read-write and exclusive to format its disk.
// Null with Error::other when it is not a floppy-controller drive,
// Error::no_medium for an empty drive, Error::read_only for a
// write-protected disk, Error::busy when it is mounted or open elsewhere.
std::unique_ptr<DiskFormatter> controller_formatter(const std::string& path, Error& error);

}  // namespace tessil::platform::linux_os
