// USB floppy drives (UFI): the formats they offer and formatting a disk,
// through the SCSI commands READ FORMAT CAPACITIES and FORMAT UNIT sent with
// SG_IO. The floppy driver's own requests answer EINVAL on them.
#pragma once

#include <memory>
#include <vector>

#include "platform/handles.h"
#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

// The standard formats the USB floppy drive open at `fd` offers, smallest
// first; empty when it offers none or does not answer.
std::vector<const StandardFormat*> ufi_formats(int fd);

// A formatter for the USB floppy drive open read-write and exclusive at
// `fd`, which it takes over. Null with the reason in `error`.
std::unique_ptr<DiskFormatter> ufi_formatter(UniqueFd fd, Error& error);

}  // namespace tessil::platform::linux_os
