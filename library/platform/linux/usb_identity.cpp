#include "platform/linux/usb_identity.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>

#include "platform/linux/linux_platform.h"

namespace tessil::platform::linux_os {

namespace {

namespace fs = std::filesystem;

std::optional<std::string> attribute(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
  return line;
}

}  // namespace

std::optional<UsbIdentity> usb_identity_of(dev_t device, const fs::path& sys_root) {
  // /sys/dev/block/MAJOR:MINOR links to the disk inside the device tree; the
  // first directory above it with idVendor is the USB device itself.
  const fs::path link = sys_root / "dev" / "block" /
                        (std::to_string(major(device)) + ":" + std::to_string(minor(device)));
  std::error_code error;
  const fs::path root = fs::canonical(sys_root, error);
  if (error) return std::nullopt;
  for (fs::path at = fs::canonical(link, error); !error && at != root && at != at.parent_path();
       at = at.parent_path()) {
    const std::optional<std::string> vendor_id = attribute(at / "idVendor");
    if (!vendor_id) continue;
    UsbIdentity usb;
    usb.vendor_id = *vendor_id;
    usb.product_id = attribute(at / "idProduct").value_or("");
    usb.vendor = attribute(at / "manufacturer").value_or("");
    usb.product = attribute(at / "product").value_or("");
    return usb;
  }
  return std::nullopt;
}

std::optional<UsbIdentity> LinuxPlatform::usb_identity_of(const char* node) {
  struct stat info {};
  if (!node || ::stat(node, &info) != 0 || !S_ISBLK(info.st_mode)) return std::nullopt;
  return linux_os::usb_identity_of(info.st_rdev);
}

}  // namespace tessil::platform::linux_os
