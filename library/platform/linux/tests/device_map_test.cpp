#include "platform/linux/device_map.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace tessil::platform::linux_os {
namespace {

namespace fs = std::filesystem;
using Drives = std::map<char, std::string>;

// A machine's /sys, /dev and udev database, laid out in a temporary
// directory the way the kernel and udev lay them out.
class FakeMachine {
 public:
  FakeMachine() {
    for (const char* dir : {"sys/block", "dev", "udev"}) fs::create_directories(root_ / dir);
  }

  DeviceSources sources(std::map<std::string, std::string> environment = {}) const {
    DeviceSources sources;
    sources.environment = [environment](const std::string& name) -> std::optional<std::string> {
      const auto found = environment.find(name);
      if (found == environment.end()) return std::nullopt;
      return found->second;
    };
    sources.sys_root = root_ / "sys";
    sources.dev_root = root_ / "dev";
    sources.udev_data = root_ / "udev";
    return sources;
  }
  std::string node(const std::string& name) const { return (root_ / "dev" / name).string(); }

  void controller_drive(const std::string& name) {
    fs::create_directories(root_ / "sys/devices/platform/floppy.0/block" / name);
    fs::create_directory_symlink(root_ / "sys/devices/platform/floppy.0/block" / name,
                                 root_ / "sys/block" / name);
  }
  // A disk on a USB mass-storage interface of the given subclass
  // (04 UFI floppy, 06 SCSI: sticks and card readers).
  void usb_disk(const std::string& name, const std::string& subclass) {
    const fs::path interface = root_ / "sys/devices/pci0000:00/usb1" / ("1-" + name + ":1.0");
    attribute(interface / "bInterfaceClass", "08");
    attribute(interface / "bInterfaceSubClass", subclass);
    disk(interface / "host6/target6:0:0/6:0:0:0", name);
  }
  void sata_disk(const std::string& name) {
    disk(root_ / "sys/devices/pci0000:00/ata1/host0/target0:0:0/0:0:0:0", name);
  }
  void udev_record(const std::string& numbers, const std::string& text) {
    attribute(root_ / "udev" / ("b" + numbers), text);
  }
  void device_node(const std::string& name) { attribute(root_ / "dev" / name, ""); }

 private:
  static void attribute(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text << "\n";
  }
  void disk(const fs::path& scsi_device, const std::string& name) {
    const fs::path disk = scsi_device / "block" / name;
    attribute(disk / "dev", "8:" + std::to_string(16 * next_disk_++));
    attribute(disk / "size", "2880");
    attribute(disk / (name + "1") / "partition", "1");
    fs::create_directory_symlink(scsi_device, disk / "device");
    fs::create_directory_symlink(disk, root_ / "sys/block" / name);
  }

  testing::TempDir temp_;
  fs::path root_ = temp_.path();
  int next_disk_ = 0;
};

TEST(DriveLetter, OnlyOneAsciiLetterAfterThePrefix) {
  EXPECT_EQ(drive_letter_of("\\\\.\\A:"), 'A');
  EXPECT_EQ(drive_letter_of("\\\\.\\b:"), 'B');
  EXPECT_EQ(drive_letter_of("\\\\.\\z:"), 'Z');
  for (const char* bad : {"", "\\\\.\\:", "\\\\.\\AB:", "\\\\.\\1:", "\\\\.\\A", "\\\\.\\A:x",
                          "A:", "\\\\?\\A:", "\\\\.\\\xC3\x84:", "\\\\.\\@:", "\\\\.\\[:"})
    EXPECT_EQ(drive_letter_of(bad), std::nullopt) << bad;
}

TEST(DiscoverDrives, ControllerDrivesKeepTheirLetters) {
  FakeMachine machine;
  EXPECT_EQ(discover_floppy_drives(machine.sources()), Drives{});
  machine.controller_drive("fd0");
  EXPECT_EQ(discover_floppy_drives(machine.sources()), (Drives{{'A', machine.node("fd0")}}));
  machine.controller_drive("fd1");
  EXPECT_EQ(discover_floppy_drives(machine.sources()),
            (Drives{{'A', machine.node("fd0")}, {'B', machine.node("fd1")}}));
}

TEST(DiscoverDrives, UsbFloppiesInKernelOrder) {
  FakeMachine machine;
  machine.usb_disk("sdc", "04");
  EXPECT_EQ(discover_floppy_drives(machine.sources()), (Drives{{'A', machine.node("sdc")}}));
  machine.usb_disk("sdaa", "04");
  machine.usb_disk("sdb", "04");
  EXPECT_EQ(discover_floppy_drives(machine.sources()), (Drives{{'A', machine.node("sdb")},
                                                               {'B', machine.node("sdc")},
                                                               {'C', machine.node("sdaa")}}));
}

TEST(DiscoverDrives, UsbFloppiesTakeTheLettersLeftFree) {
  FakeMachine machine;
  machine.usb_disk("sdb", "04");
  machine.controller_drive("fd1");
  EXPECT_EQ(discover_floppy_drives(machine.sources()),
            (Drives{{'A', machine.node("sdb")}, {'B', machine.node("fd1")}}));
  machine.controller_drive("fd0");
  EXPECT_EQ(
      discover_floppy_drives(machine.sources()),
      (Drives{{'A', machine.node("fd0")}, {'B', machine.node("fd1")}, {'C', machine.node("sdb")}}));
}

TEST(DiscoverDrives, OtherDisksAreNeverPicked) {
  FakeMachine machine;
  machine.sata_disk("sda");
  machine.usb_disk("sdb", "06");  // a USB stick of exactly floppy size
  machine.udev_record("8:16", "E:ID_TYPE=disk\nE:ID_BUS=usb");
  EXPECT_EQ(discover_floppy_drives(machine.sources()), Drives{});
  // What udev has recognised as a floppy drive is one.
  machine.usb_disk("sdc", "06");
  machine.udev_record("8:32", "E:ID_BUS=usb\nE:ID_DRIVE_FLOPPY=1");
  EXPECT_EQ(discover_floppy_drives(machine.sources()), (Drives{{'A', machine.node("sdc")}}));
}

TEST(ResolveDevice, EnvironmentWinsWhenNotEmpty) {
  FakeMachine machine;
  machine.controller_drive("fd0");
  machine.usb_disk("sdb", "04");
  const DeviceSources sources = machine.sources(
      {{"TESSIL_DRIVE_A", "/tmp/a.img"}, {"TESSIL_DRIVE_B", ""}, {"TESSIL_DRIVE_X", "/dev/loop3"}});
  EXPECT_EQ(resolve_device("\\\\.\\a:", sources), "/tmp/a.img");
  EXPECT_EQ(resolve_device("\\\\.\\B:", sources), machine.node("sdb"));
  EXPECT_EQ(resolve_device("\\\\.\\X:", sources), "/dev/loop3");
  EXPECT_EQ(resolve_device("\\\\.\\C:", sources), std::nullopt);
  EXPECT_EQ(resolve_device("\\\\.\\AB:", sources), std::nullopt);
}

TEST(ResolveDevice, AUsbFloppyMovesPastALetterTheEnvironmentTook) {
  FakeMachine machine;
  machine.usb_disk("sdb", "04");
  const DeviceSources sources = machine.sources({{"TESSIL_DRIVE_A", "/tmp/a.img"}});
  EXPECT_EQ(resolve_device("\\\\.\\A:", sources), "/tmp/a.img");
  EXPECT_EQ(resolve_device("\\\\.\\B:", sources), machine.node("sdb"));
}

TEST(ResolveDevice, ControllerNodesOnlyWhenTheyExist) {
  FakeMachine machine;
  EXPECT_EQ(resolve_device("\\\\.\\A:", machine.sources()), std::nullopt);
  EXPECT_EQ(resolve_device("\\\\.\\B:", machine.sources()), std::nullopt);
  machine.device_node("fd0");
  machine.device_node("fd1");
  machine.device_node("fd2");
  EXPECT_EQ(resolve_device("\\\\.\\A:", machine.sources()), machine.node("fd0"));
  EXPECT_EQ(resolve_device("\\\\.\\b:", machine.sources()), machine.node("fd1"));
  EXPECT_EQ(resolve_device("\\\\.\\C:", machine.sources()), std::nullopt);
  // A drive found for the letter comes first.
  machine.usb_disk("sdb", "04");
  EXPECT_EQ(resolve_device("\\\\.\\A:", machine.sources()), machine.node("sdb"));
}

}  // namespace
}  // namespace tessil::platform::linux_os
