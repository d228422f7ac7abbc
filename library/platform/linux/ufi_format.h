// USB floppy drives (UFI): the formats they offer and formatting a disk,
// through the SCSI commands READ FORMAT CAPACITIES and FORMAT UNIT sent with
// SG_IO. The floppy driver's own requests answer EINVAL on them.
#pragma once

#include <memory>
#include <vector>

#include "platform/handles.h"
#include "platform/linux/scsi_transport.h"
#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

// Laying down one track can take the drive several seconds.
inline constexpr std::chrono::milliseconds ufi_format_timeout{60'000};

// The standard formats the USB floppy drive open at `fd` offers, smallest
// first; empty when it offers none or does not answer.
std::vector<const StandardFormat*> ufi_formats(int fd);

// As above, the drive reached through `transport`; the reason in `error`
// when it did not answer.
std::vector<const StandardFormat*> ufi_formats(ScsiTransport& transport, Error& error);

// A formatter for the USB floppy drive open read-write and exclusive at
// `fd`, which it takes over; the kernel lets FORMAT UNIT through only on a
// descriptor open for writing. Null with the reason in `error`.
std::unique_ptr<DiskFormatter> ufi_formatter(UniqueFd fd, Error& error);

// As above, the drive reached through `transport`.
std::unique_ptr<DiskFormatter> ufi_formatter(std::unique_ptr<ScsiTransport> transport,
                                             Error& error);

}  // namespace tessil::platform::linux_os
