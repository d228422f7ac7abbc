// Who made a USB floppy drive: the vendor and product of the USB device
// that the drive's block device hangs from, as the kernel shows them.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace tessil::cli {

struct UsbIdentity {
  std::string vendor_id;   // four hex digits, "0644"
  std::string product_id;  // four hex digits
  std::string vendor;      // the device's own words; empty when it has none
  std::string product;
};

// The USB device above block device `device` (its major and minor numbers)
// in the sysfs tree at `sys_root`; nothing when it is not on USB.
std::optional<UsbIdentity> usb_identity_of(dev_t device,
                                           const std::filesystem::path& sys_root = "/sys");

// The same for a device node's path.
std::optional<UsbIdentity> usb_identity_of(const std::string& node);

}  // namespace tessil::cli
