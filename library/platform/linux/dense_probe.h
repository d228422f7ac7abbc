// Disks of 21 sectors a track (1.68 and 1.72 MB) in a floppy-controller
// drive. The driver takes them for 1.44 MB disks, since sectors 1 to 18 of
// every track read fine, and a whole-disk read would then miss three
// sectors of every track and two cylinders.
#pragma once

#include <linux/fd.h>

#include <optional>
#include <string>

namespace tessil::platform::linux_os {

// Looks for a 21st sector on the disk in the floppy-controller drive at
// `path`, which the driver holds to be `found` (80 x 2 x 18). When it is
// there, the driver is set to the denser format for as long as this disk
// stays in the drive, and its parameters come back; otherwise the driver
// keeps `found` and nothing comes back.
std::optional<floppy_struct> find_denser_format(const std::string& path,
                                                const floppy_struct& found);

}  // namespace tessil::platform::linux_os
