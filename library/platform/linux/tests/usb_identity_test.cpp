// The USB device above a block device, found in a fake sysfs tree shaped
// like the kernel's: /sys/dev/block/MAJ:MIN links into /sys/devices.
#include "platform/linux/usb_identity.h"

#include <stdlib.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

class UsbIdentityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tessil-sysfs-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fs::create_directories(root_ / "dev" / "block");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // A disk at `disk` below /sys/devices, linked as MAJ:MIN.
  void disk(const std::string& disk, const std::string& numbers) {
    fs::create_directories(root_ / "devices" / disk);
    fs::create_directory_symlink(root_ / "devices" / disk, root_ / "dev" / "block" / numbers);
  }
  void attribute(const std::string& at, const std::string& name, const std::string& value) {
    std::ofstream(root_ / "devices" / at / name) << value << "\n";
  }

  fs::path root_;
};

TEST_F(UsbIdentityTest, FindsTheNearestUsbDeviceAboveTheDisk) {
  const std::string usb = "pci0000:00/0000:00:14.0/usb1/1-2";
  disk(usb + "/1-2:1.0/host3/target3:0:0/3:0:0:0/block/sdb", "8:16");
  attribute(usb, "idVendor", "0644");
  attribute(usb, "idProduct", "0000");
  attribute(usb, "manufacturer", "TEAC");
  attribute(usb, "product", "FD-05PUB");
  // The hub above has ids of its own, which must not win.
  attribute("pci0000:00/0000:00:14.0/usb1", "idVendor", "1d6b");
  disk("platform/floppy.0/block/fd0", "2:0");

  const std::optional<tessil::platform::UsbIdentity> found =
      tessil::platform::linux_os::usb_identity_of(makedev(8, 16), root_);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->vendor_id, "0644");
  EXPECT_EQ(found->product_id, "0000");
  EXPECT_EQ(found->vendor, "TEAC");
  EXPECT_EQ(found->product, "FD-05PUB");
  EXPECT_FALSE(tessil::platform::linux_os::usb_identity_of(makedev(2, 0), root_));
  EXPECT_FALSE(tessil::platform::linux_os::usb_identity_of(makedev(8, 32), root_));  // no such disk
}

}  // namespace
