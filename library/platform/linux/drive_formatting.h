// Formatting goes to the drive's own kind of commands: the floppy driver's
// for a floppy-controller drive, SCSI commands for a USB floppy drive.
// Anything else is no floppy drive and is never formatted.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/handles.h"

namespace tessil::platform::linux_os {

// As Platform::open_to_format, for the device node or file at `path`.
std::unique_ptr<DiskFormatter> open_formatter(const std::string& path, Error& error);

// As Platform::formats_of, for `path`.
std::vector<const StandardFormat*> drive_formats(const std::string& path);

}  // namespace tessil::platform::linux_os
