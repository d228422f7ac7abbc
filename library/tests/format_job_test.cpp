// Formatting track by track: the order tracks go in, a stop taken between
// two of them, a track the drive will not format, and tracks that do not
// read back.
#include "format/format_job.h"

#include <gtest/gtest.h>

namespace tessil::format {
namespace {

const StandardFormat& format_720k = *standard_format_of(737'280);

struct FakeFormatter final : platform::DiskFormatter {
  std::vector<Track> laid;
  std::optional<Track> refuse;
  int ends = 0;

  std::vector<const StandardFormat*> formats() override { return {&format_720k}; }
  platform::Error begin(const StandardFormat&) override { return platform::Error::none; }
  platform::Error format_track(uint32_t cylinder, uint32_t head) override {
    if (refuse == Track{cylinder, head}) return platform::Error::io;
    laid.push_back({cylinder, head});
    return platform::Error::none;
  }
  platform::Error end() override {
    ++ends;
    return platform::Error::none;
  }
};

// A disk whose reads fail wherever they touch one of `bad` (byte offsets).
struct FakeDisk final : platform::Drive {
  std::vector<uint64_t> bad;
  platform::ReadResult read(std::span<std::byte>) override { return {}; }
  platform::Error write(std::span<const std::byte>) override { return platform::Error::other; }
  platform::Error flush() override { return platform::Error::none; }
  platform::ReadResult read_at(uint64_t offset, std::span<std::byte> data) override {
    for (const uint64_t at : bad)
      if (at >= offset && at < offset + data.size()) return {0, platform::Error::io, false};
    return {data.size(), platform::Error::none, false};
  }
  platform::Error write_at(uint64_t, std::span<const std::byte>) override {
    return platform::Error::other;
  }
};

TEST(FormatJob, LaysEveryTrackCylinderByCylinderAndEndsOnce) {
  FakeFormatter formatter;
  uint32_t last_done = 0;
  const FormatResult result = lay_tracks(
      formatter, format_720k, {[&](const FormatProgress& at) { last_done = at.done; }, {}});
  ASSERT_EQ(formatter.laid.size(), 160u);
  EXPECT_EQ(formatter.laid[1], (Track{0, 1}));
  EXPECT_EQ(formatter.laid[2], (Track{1, 0}));
  EXPECT_EQ(formatter.laid.back(), (Track{79, 1}));
  EXPECT_EQ(last_done, 160u);
  EXPECT_EQ(formatter.ends, 1);
  EXPECT_TRUE(result.whole(format_720k));
}

TEST(FormatJob, StopsAtATrackBoundaryAndAFailingTrackEndsTheFormat) {
  FakeFormatter stopped;
  int asked = 0;
  const FormatResult halted =
      lay_tracks(stopped, format_720k, {{}, [&asked] { return ++asked > 7; }});
  EXPECT_TRUE(halted.stopped);
  EXPECT_EQ(halted.laid, 7u);
  EXPECT_EQ(stopped.laid.size(), 7u);
  EXPECT_EQ(stopped.ends, 1);
  EXPECT_FALSE(halted.whole(format_720k));

  FakeFormatter failing;
  failing.refuse = Track{40, 1};
  const FormatResult failed = lay_tracks(failing, format_720k, {});
  EXPECT_EQ(failed.error, platform::Error::io);
  EXPECT_EQ(failed.failed_track, (Track{40, 1}));
  EXPECT_EQ(failed.laid, 81u);
  EXPECT_EQ(failing.ends, 1);
}

TEST(FormatJob, ReadBackNamesEveryTrackThatFails) {
  FakeDisk disk;
  const uint64_t track = 9 * 512;
  disk.bad = {0, (3 * 2 + 1) * track + 100, 159 * track + track - 1};
  FormatResult result;
  result.laid = 160;
  read_back(disk, format_720k, {}, result);
  EXPECT_EQ(result.unreadable, (std::vector<Track>{{0, 0}, {3, 1}, {79, 1}}));
  EXPECT_FALSE(result.whole(format_720k));
}

}  // namespace
}  // namespace tessil::format
