// Drives the user may not open, opened through udisks2 by the library's
// platform and jobs, against drives only root may open.
#include <gtest/gtest.h>

#include "image_format.h"
#include "platform/linux/debug_channel.h"
#include "platform/linux/linux_drive.h"
#include "platform/platform.h"
#include "tessil.h"
#include "udisks_fixture.h"

namespace tessil::platform::linux_os {
namespace {

using testing::eventually;
using testing::LoopDevice;
using testing::ScopedEnv;
using testing::UdisksOpenTest;
namespace fs = std::filesystem;

constexpr std::string_view drive_u = "\\\\.\\U:";
constexpr std::size_t disk_144 = 1'474'560;

// A job of the library in this process, waited for as the program does.
int32_t finish() {
  return eventually([] { return retvalue() == 0; }) ? getreturnvalue() : -1;
}

const char* name_of(Error error) {
  constexpr std::array names{"none",           "not_found",
                             "no_medium",      "access_denied",
                             "not_authorised", "not_authorised_system",
                             "busy",           "read_only",
                             "no_space",       "io",
                             "exists",         "other"};
  return names.at(static_cast<std::size_t>(error));
}

TEST_F(UdisksOpenTest, AUserWithoutRightsReadsAndWritesADriveThroughIt) {
  const std::vector<std::byte> original = testing::pattern(disk_144);
  const fs::path drive = root_only_drive(original);
  ASSERT_NO_FATAL_FAILURE(start_bus());
  ASSERT_NO_FATAL_FAILURE(start_udisks({drive.string()}));
  // The image to write back: a header of the drive's geometry, then new data.
  const std::vector<std::byte> replacement = testing::pattern(disk_144, 12345);
  {
    const HeaderBytes header = encode_header(ImageHeader{80, 2, 18, 512, {}});
    std::vector<std::byte> image(header.begin(), header.end());
    image.insert(image.end(), replacement.begin(), replacement.end());
    testing::write_file(out() / "new.img", image);
  }
  const std::string image = (out() / "copy.img").string();
  const std::string other = (out() / "new.img").string();

  const std::string result = testing::run_as_nobody([&] {
    int32_t g[5] = {};
    std::string seen = getdriveinfo("U", &g[0], &g[1], &g[2], &g[3], &g[4]) ? "geometry " : "none ";
    seen += std::to_string(g[0]) + "/" + std::to_string(g[1]) + "/" + std::to_string(g[2]) + "/" +
            std::to_string(g[3]);
    seen += readdisk("U", image.c_str(), "label") == 0 ? ", read " + std::to_string(finish())
                                                       : ", read not started";
    seen += writedisk("U", other.c_str()) == 0 ? ", write " + std::to_string(finish())
                                               : ", write not started";
    return seen;
  });

  EXPECT_EQ(result, "geometry 80/2/18/512, read 0, write 0");
  const std::vector<std::byte> copy = testing::read_file(image);
  ASSERT_EQ(copy.size(), TESSIL_IMAGE_HEADER_SIZE + disk_144);
  EXPECT_TRUE(
      std::equal(original.begin(), original.end(), copy.begin() + TESSIL_IMAGE_HEADER_SIZE));
  EXPECT_TRUE(testing::read_file(drive) == replacement) << "the write job wrote the drive";
  // One question for each call, however often the job opens the drive:
  // the geometry query and the read job ask to read, the write job to
  // write.
  EXPECT_EQ(seen_calls(), "r 0\nr 0\nrw 0\n");
}

TEST_F(UdisksOpenTest, ARefusalOrNoUdisksLeavesTheDriveUnopened) {
  const std::vector<std::byte> original = testing::pattern(disk_144);
  const fs::path drive = root_only_drive(original);
  const std::string trace = (out() / "trace.log").string();
  const ScopedEnv debug("TESSIL_DEBUG", trace);

  // Opens the drive for a write job and asks its geometry, as `nobody`.
  const auto attempt = [&] {
    return testing::run_as_nobody([] {
      reread_debug_target_for_testing();
      const auto start = std::chrono::steady_clock::now();
      Error opened = Error::none;
      const std::unique_ptr<Drive> disk = system().open_drive(drive_u, opened);
      DriveGeometry g;
      const Error queried = system().query_geometry(drive_u, g);
      const bool quick = std::chrono::steady_clock::now() - start < std::chrono::seconds(10);
      return std::string(disk ? "opened" : name_of(opened)) + " " + name_of(queried) +
             (quick ? "" : " slowly");
    });
  };
  const auto traced = [&] {
    const std::string text = testing::read_text(trace);
    fs::remove(trace);
    return text;
  };

  {
    const ScopedEnv no_bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (dir_ / "none").string());
    EXPECT_EQ(attempt(), "access_denied access_denied") << "no system bus";
    EXPECT_NE(traced().find("udisks2 did not open " + drive.string()), std::string::npos);
  }
  ASSERT_NO_FATAL_FAILURE(start_bus());
  EXPECT_EQ(attempt(), "access_denied access_denied") << "no udisks2";
  EXPECT_NE(traced().find("ServiceUnknown"), std::string::npos);

  ASSERT_NO_FATAL_FAILURE(start_udisks({drive.string()}, "deny"));
  EXPECT_EQ(attempt(), "not_authorised not_authorised") << "polkit said no";
  EXPECT_NE(traced().find("NotAuthorized"), std::string::npos);
  EXPECT_EQ(seen_calls(), "rw 0\nr 0\n");
  EXPECT_TRUE(testing::read_file(drive) == original) << "the drive is untouched";
}

TEST_F(UdisksOpenTest, ABlockDeviceStaysExclusiveAndWriteProtected) {
  if (std::system("command -v losetup >/dev/null 2>&1") != 0) GTEST_SKIP() << "no losetup";
  testing::write_file(dir_ / "disk.img", testing::pattern(disk_144));
  testing::write_file(dir_ / "protected.img", testing::pattern(disk_144));
  const LoopDevice writable(dir_ / "disk.img", false);
  const LoopDevice protected_disk(dir_ / "protected.img", true);
  if (writable.path().empty() || protected_disk.path().empty())
    GTEST_SKIP() << "losetup could not attach a loop device";
  const std::string disk_node = root_only_node(writable, "disk");
  const std::string protected_node = root_only_node(protected_disk, "protected");
  ASSERT_NO_FATAL_FAILURE(start_bus());
  // The read-only loop device also stands for a write-protected USB floppy,
  // which refuses read-write opens outright.
  ASSERT_NO_FATAL_FAILURE(start_udisks({disk_node, protected_node}, "open", protected_node));

  const std::vector<std::byte> block = testing::pattern(512, 777);
  const std::string result = testing::run_as_nobody([&] {
    std::string seen;
    {
      const ScopedEnv env("TESSIL_DRIVE_U", disk_node);
      Error error = Error::other;
      const std::unique_ptr<Drive> disk = system().open_drive(drive_u, error);
      if (!disk || dynamic_cast<LinuxDrive&>(*disk).read_only()) return std::string("not rw");
      seen += "wrote " + std::string(name_of(disk->write(block)));
      seen += ", flushed " + std::string(name_of(disk->flush()));
      // Held with O_EXCL through udisks2 as it is without: a second job is turned away.
      const std::unique_ptr<Drive> second = system().open_drive(drive_u, error);
      seen += second ? ", second opened" : ", second " + std::string(name_of(error));
    }
    const ScopedEnv env("TESSIL_DRIVE_U", protected_node);
    Error error = Error::other;
    const std::unique_ptr<Drive> disk = system().open_drive(drive_u, error);
    if (!disk) return seen + ", protected " + name_of(error);
    std::array<std::byte, 512> first;
    seen +=
        dynamic_cast<LinuxDrive&>(*disk).read_only() ? ", protected read-only" : ", protected rw";
    seen += disk->read(first).count == 512 ? " reads" : " does not read";
    seen += ", then refuses " + std::string(name_of(disk->write(first)));
    return seen;
  });

  EXPECT_EQ(result,
            "wrote none, flushed none, second busy, protected read-only reads, then refuses "
            "read_only");
  std::vector<std::byte> expected = testing::pattern(disk_144);
  std::copy(block.begin(), block.end(), expected.begin());
  EXPECT_TRUE(testing::read_file(dir_ / "disk.img") == expected) << "the block reached the disk";
  const std::string excl = std::to_string(O_EXCL);
  EXPECT_EQ(seen_calls(),
            "rw " + excl + "\nrw " + excl + "\nr " + excl + "\nrw " + excl + "\nr " + excl + "\n");
}

}  // namespace
}  // namespace tessil::platform::linux_os
