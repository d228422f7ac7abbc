// Who made a USB floppy drive: the vendor and product of the USB device
// that the drive's device hangs from, as the system shows them.
#pragma once

#include <string>

namespace tessil::platform {

struct UsbIdentity {
  std::string vendor_id;   // four hex digits, "0644"
  std::string product_id;  // four hex digits
  std::string vendor;      // the device's own words; empty when it has none
  std::string product;
};

}  // namespace tessil::platform
