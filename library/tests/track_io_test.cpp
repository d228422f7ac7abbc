// What the drive is sent: a write and a verify of a 1.44 MB disk in whole
// tracks, a write that never reads, and the block-by-block answers of a
// job whose command fails or stops part way.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "fake_platform.h"
#include "jobs.h"
#include "progress.h"
#include "tessil.h"
#include "verify_job.h"

namespace tessil {
namespace {

using testing::FakeMedium;
using testing::FakePlatform;
using testing::make_medium;
using testing::TempDir;
using testing::write_file;

constexpr std::size_t block = TESSIL_BLOCK_SIZE;
constexpr uint64_t disk = 80 * 2 * 18 * block;

class LastProgress final : public JobSink {
 public:
  uint64_t cancel_after = UINT64_MAX;
  JobProgress last;
  void progress(const JobProgress& p) override { last = p; }
  bool cancel_requested() override { return last.done >= cancel_after; }
};

class TrackCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(image, source.data);
    target.data.assign(target.data.size(), std::byte{0});
  }
  JobRequest request() const {
    JobRequest r;
    r.drive = "A";
    r.image = image;
    r.raw_image = true;
    return r;
  }
  JobOutcome write() {
    fake.insert("A", target);
    return run_write_job(request(), sink);
  }
  // The disk holds the image's blocks before `end` and its old ones after.
  void expect_written_up_to(uint64_t end) {
    const std::vector<std::byte> now = fake.contents("A");
    const auto cut = static_cast<std::ptrdiff_t>(end);
    EXPECT_TRUE(std::equal(now.begin(), now.begin() + cut, source.data.begin()));
    EXPECT_TRUE(std::equal(now.begin() + cut, now.end(), target.data.begin() + cut));
  }

  FakePlatform fake;
  TempDir dir;
  LastProgress sink;
  std::string image = dir.path("disk.ima");
  FakeMedium source = make_medium(80, 2, 18);
  FakeMedium target = make_medium(80, 2, 18);
};

TEST_F(TrackCommands, AWriteAndItsVerifyMoveWholeTracksAndTheWriteNeverReads) {
  EXPECT_EQ(write().code, JOB_OK);
  expect_written_up_to(disk);
  FakeMedium written = fake.medium("A");
  EXPECT_EQ(written.read_commands, 0);
  EXPECT_LE(written.write_commands, 160);

  EXPECT_EQ(run_verify_job(request(), sink).outcome.code, JOB_OK);
  written = fake.medium("A");
  EXPECT_LE(written.read_commands, 160);
  EXPECT_LE(written.write_commands, 160) << "a verify never writes";
}

TEST_F(TrackCommands, AFailedCommandStopsAtItsBlockWithThatBlocksProgress) {
  target.write_error_at = 40;
  const JobOutcome outcome = write();
  EXPECT_EQ(outcome.code, JOB_DRIVE_WRITE_FAILED);
  EXPECT_EQ(outcome.reason, platform::Error::io);
  EXPECT_EQ(sink.last.done, 41 * block);
  EXPECT_EQ(sink.last.percent, progress_percent(disk, 41 * block));
  expect_written_up_to(40 * block);
}

TEST_F(TrackCommands, AStopPutsEveryBlockTakenOnTheDiskAndNoMore) {
  sink.cancel_after = 20 * block;  // within the first track
  EXPECT_EQ(write().code, JOB_CANCELLED);
  EXPECT_EQ(sink.last.done, 20 * block);
  expect_written_up_to(20 * block);
}

TEST_F(TrackCommands, AVerifyReadsSectorBySectorOnlyWithinATrackThatFails) {
  source.data[38 * block] ^= std::byte{1};
  write_file(image, source.data);
  target = make_medium(80, 2, 18);
  target.read_error_at = 40;
  fake.insert("A", target);
  const VerifyOutcome v = run_verify_job(request(), sink);
  EXPECT_EQ(v.outcome.code, JOB_SHORT_READ);
  EXPECT_EQ(v.sectors, 40u);
  ASSERT_EQ(v.first_differences.size(), 1u);
  EXPECT_EQ(v.first_differences[0].number, 38u);
  // The first command, the second failing whole, then its sectors 36 to 40.
  EXPECT_EQ(fake.medium("A").read_commands, 2 + 5);
}

}  // namespace
}  // namespace tessil
