// The geometry query: the five values, the lines it prints, and the device
// path it leaves for the jobs.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "fake_platform.h"
#include "job_state.h"
#include "tessil.h"

namespace tessil {
namespace {

using testing::FakePlatform;
using testing::make_medium;

const std::string probe_lines =
    "IOCTL_STORAGE_GET_MEDIA_TYPES 2952192 \n IOCTL_DISK_GET_DRIVE_GEOMETRY 458752 \n "
    "nao abriu arquivo\nfoi\n";

struct Query {
  int32_t result = -1;
  std::array<int32_t, 5> out{-1, -1, -1, -1, -1};
  std::string printed;
};

Query query(const char* drive) {
  Query q;
  ::testing::internal::CaptureStdout();
  q.result = getdriveinfo(drive, &q.out[0], &q.out[1], &q.out[2], &q.out[3], &q.out[4]);
  q.printed = ::testing::internal::GetCapturedStdout();
  return q;
}

TEST(GeometryQuery, ReportsA144MegabyteDisk) {
  FakePlatform fake;
  fake.insert("A", make_medium(80, 2, 18));
  const Query q = query("A");
  EXPECT_EQ(q.result, 1);
  EXPECT_EQ(q.out, (std::array<int32_t, 5>{80, 2, 18, 512, 1474560}));
  EXPECT_EQ(q.printed, probe_lines +
                           "Tracks/cylinder = 2\nSectors/track = 18\nBytes/sector = 512\n"
                           "Disk size = 1474560 (Bytes) = 0 (Gb)\nMediaType 2 \n");
  EXPECT_EQ(job_state().drivecopy.load(), "\\\\.\\A:");
}

TEST(GeometryQuery, AnEmptyOrMissingDriveGivesZeros) {
  FakePlatform fake;
  testing::FakeMedium empty = make_medium(80, 2, 18);
  empty.query_error = platform::Error::no_medium;
  fake.insert("A", empty);
  for (const char* drive : {"A", "B", "", static_cast<const char*>(nullptr)}) {
    const Query q = query(drive);
    EXPECT_EQ(q.result, 0) << (drive ? drive : "null");
    EXPECT_EQ(q.out, (std::array<int32_t, 5>{})) << (drive ? drive : "null");
    EXPECT_EQ(q.printed, probe_lines);
  }
  query("B");
  EXPECT_EQ(job_state().drivecopy.load(), "\\\\.\\B:") << "written even when the query fails";
}

TEST(GeometryQuery, HandsOutOnlyTheLow32BitsOfHugeMedia) {
  FakePlatform fake;
  testing::FakeMedium medium;
  medium.geometry = {1024, 12, 64, 128, 512};  // exactly 4 GiB
  fake.insert("A", medium);
  medium.geometry = {(int64_t{1} << 32) + 5, 12, 1, 1, 512};
  fake.insert("B", medium);

  Query q = query("A");
  EXPECT_EQ(q.result, 1);
  EXPECT_EQ(q.out[4], 0);
  EXPECT_NE(q.printed.find("Disk size = 4294967296 (Bytes) = 4 (Gb)\n"), std::string::npos);

  q = query("B");
  EXPECT_EQ(q.out[0], 5);
  EXPECT_EQ(q.out[4], static_cast<int32_t>(static_cast<uint32_t>(((int64_t{1} << 32) + 5) * 512)));
}

TEST(GeometryQuery, RefusesDriveTextsThatDoNotFitItsPaths) {
  FakePlatform fake;
  const std::string at_limit(289, 'A');
  const std::string too_long(290, 'A');
  fake.insert(at_limit, make_medium(80, 2, 18));
  fake.insert(too_long, make_medium(80, 2, 18));
  EXPECT_EQ(query(at_limit.c_str()).result, 1);
  const Query q = query(too_long.c_str());
  EXPECT_EQ(q.result, 0);
  EXPECT_EQ(q.out, (std::array<int32_t, 5>{}));
  EXPECT_EQ(job_state().drivecopy.load(), "");
}

TEST(GeometryQuery, WritesOnlyTheOutputsItIsGiven) {
  FakePlatform fake;
  fake.insert("A", make_medium(40, 1, 8));
  int32_t sectors = -1;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(getdriveinfo("A", nullptr, nullptr, &sectors, nullptr, nullptr), 1);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(sectors, 8);
}

}  // namespace
}  // namespace tessil
