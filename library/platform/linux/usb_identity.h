// Who made a USB floppy drive, from the kernel's device tree: the USB
// device that the drive's block device hangs from.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>

#include "platform/usb_identity.h"

namespace tessil::platform::linux_os {

// The USB device above block device `device` (its major and minor numbers)
// in the sysfs tree at `sys_root`; nothing when it is not on USB.
std::optional<UsbIdentity> usb_identity_of(dev_t device,
                                           const std::filesystem::path& sys_root = "/sys");

}  // namespace tessil::platform::linux_os
