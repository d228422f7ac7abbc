// The verify job and the write job's final flush on real drives: a file
// standing for a drive and, as root, a loop device, whose backing file can
// be changed behind the kernel's cache of the device.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "jobs.h"
#include "platform/linux/unique_fd.h"
#include "tessil.h"
#include "test_support.h"
#include "verify_job.h"

namespace tessil::platform::linux_os {
namespace {

using testing::LoopDevice;
using testing::ScopedEnv;
using testing::TempDir;

constexpr std::size_t disk_size = 1'474'560;
constexpr std::size_t sector = 512;

class QuietSink final : public JobSink {
 public:
  void progress(const JobProgress&) override {}
  bool cancel_requested() override { return false; }
};

// Changes one byte of sector `number` in `fd`, on its way to the medium.
void plant(int fd, std::size_t number) {
  std::byte b{};
  const off_t at = static_cast<off_t>(number * sector + 100);
  ASSERT_EQ(::pread(fd, &b, 1, at), 1);
  b ^= std::byte{0xFF};
  ASSERT_EQ(::pwrite(fd, &b, 1, at), 1);
  ASSERT_EQ(::fsync(fd), 0);
}

// The planted byte of sector `number` as a buffered read through `fd` sees it.
int byte_through(int fd, std::size_t number) {
  std::byte b{};
  EXPECT_EQ(::pread(fd, &b, 1, static_cast<off_t>(number * sector + 100)), 1);
  return std::to_integer<int>(b);
}

class VerifyMedium : public ::testing::Test {
 protected:
  void SetUp() override { testing::write_file(image(), testing::pattern(disk_size)); }
  std::filesystem::path image() const { return dir_ / "image.ima"; }
  std::filesystem::path backing() const { return dir_ / "drive.img"; }
  JobRequest request(const char* drive) const {
    JobRequest r;
    r.drive = drive;
    r.image = image().string();
    r.raw_image = true;
    return r;
  }

  TempDir dir_;
  QuietSink sink_;
};

TEST_F(VerifyMedium, CatchesAPlantedDifferenceOnAFileDrive) {
  testing::sized_file(backing(), disk_size);
  const ScopedEnv env("TESSIL_DRIVE_F", backing().string());
  ASSERT_EQ(run_write_job(request("F"), sink_).code, JOB_OK);
  EXPECT_EQ(run_verify_job(request("F"), sink_).outcome.code, JOB_OK);

  const UniqueFd fd = open_fd(backing().c_str(), O_RDWR | O_CLOEXEC);
  plant(fd.get(), 1000);
  const VerifyOutcome v = run_verify_job(request("F"), sink_);
  EXPECT_EQ(v.outcome.code, outcome::verify_failed);
  EXPECT_EQ(v.differing_sectors, 1u);
  ASSERT_EQ(v.first_differences.size(), 1u);
  EXPECT_EQ(v.first_differences[0].number, 1000u);
  EXPECT_EQ(v.first_differences[0].cylinder, 27u);
  EXPECT_EQ(v.first_differences[0].head, 1u);
  EXPECT_EQ(v.first_differences[0].sector, 11u);
}

// The device's last close drops its cache by itself, so another opener
// (here `holder`, elsewhere a desktop's disk service) keeps it alive in
// between, as it would be on a real system.
TEST_F(VerifyMedium, ALoopDeviceIsReadFromTheMediumAfterAWriteAndByTheVerify) {
  if (::geteuid() != 0) GTEST_SKIP() << "loop devices need root";
  testing::sized_file(backing(), disk_size);
  const LoopDevice loop(backing(), false);
  if (loop.path().empty()) GTEST_SKIP() << "losetup could not attach a loop device";
  const ScopedEnv env("TESSIL_DRIVE_L", loop.path());
  const UniqueFd holder = open_fd(loop.path().c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_TRUE(holder);
  const UniqueFd file = open_fd(backing().c_str(), O_RDWR | O_CLOEXEC);

  ASSERT_EQ(run_write_job(request("L"), sink_).code, JOB_OK);
  // The write left nothing cached: a change behind the device shows. (The
  // sectors are far from those a desktop's probe of a new disk reads.)
  plant(file.get(), 1000);
  EXPECT_EQ(byte_through(holder.get(), 1000), byte_through(file.get(), 1000));

  // Now the device's cache holds every sector; a change behind it stays
  // unseen by plain reads.
  std::vector<std::byte> all(disk_size);
  ASSERT_EQ(::pread(holder.get(), all.data(), all.size(), 0), static_cast<ssize_t>(disk_size));
  plant(file.get(), 2000);
  if (byte_through(holder.get(), 2000) == byte_through(file.get(), 2000))
    GTEST_SKIP() << "the device's cache did not keep the old sector";

  const VerifyOutcome v = run_verify_job(request("L"), sink_);
  EXPECT_EQ(v.outcome.code, outcome::verify_failed);
  EXPECT_EQ(v.differing_sectors, 2u);
  ASSERT_EQ(v.first_differences.size(), 2u);
  EXPECT_EQ(v.first_differences[0].number, 1000u);
  EXPECT_EQ(v.first_differences[1].number, 2000u);
}

}  // namespace
}  // namespace tessil::platform::linux_os
