// The rescue read's passes against the fake platform's bad sectors: what
// ends up in the image and in the map, how often each sector is read, and
// a run cut short and taken up again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>

#include "fake_platform.h"
#include "image_format.h"
#include "outcomes.h"
#include "rescue/rescue_job.h"
#include "rescue/rescue_report.h"

namespace tessil::rescue {
namespace {

using testing::FakeMedium;
using testing::FakePlatform;
using testing::make_medium;
using testing::read_file;
using testing::TempDir;

constexpr std::size_t sector = 512;
constexpr std::size_t header = image_header_size;

// Counts the reads; asks to stop after `cancel_after` of them.
class CountingSink final : public RescueSink {
 public:
  explicit CountingSink(int cancel_after = -1) : cancel_after_(cancel_after) {}
  void progress(const JobProgress&) override {}
  bool cancel_requested() override { return cancel_after_ >= 0 && reads_ >= cancel_after_; }
  void map_changed(const RescueMap&) override { ++reads_; }
  int reads() const { return reads_; }

 private:
  int cancel_after_;
  int reads_ = 0;
};

class Rescue : public ::testing::Test {
 protected:
  // A small disk: 40 cylinders, 2 heads, 9 sectors. Its large reads are the
  // whole cylinders that fit 64 KiB: 7, 126 sectors.
  static constexpr std::size_t sectors = 40 * 2 * 9;
  static constexpr std::size_t cluster = 7 * 2 * 9;

  void SetUp() override { medium_ = make_medium(40, 2, 9); }

  RescueOutcome run(int retries = 2, Fill fill = Fill::zero, int cancel_after = -1) {
    fake_.insert("A", medium_);
    RescueRequest request;
    request.job.drive = "A";
    request.job.image = dir_.path("disk.img");
    request.job.label = "rescued";
    request.retries = retries;
    request.fill = fill;
    CountingSink sink(cancel_after);
    RescueOutcome out = run_rescue_job(request, sink);
    requests_ = sink.reads();
    return out;
  }

  std::vector<std::byte> image() { return read_file(dir_.path("disk.img")); }
  std::span<const std::byte> image_sector(const std::vector<std::byte>& file, std::size_t i) {
    return std::span(file).subspan(header + i * sector, sector);
  }
  std::span<const std::byte> disk_sector(std::size_t i) {
    return std::span(medium_.data).subspan(i * sector, sector);
  }
  static bool same(std::span<const std::byte> a, std::span<const std::byte> b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }

  // Image and map agree: rescued sectors hold the disk's bytes, the others
  // the fill, and the map on disk is the one the job returned.
  void expect_consistent(const RescueOutcome& out, Fill fill) {
    const std::vector<std::byte> file = image();
    ASSERT_EQ(file.size(), header + sectors * sector) << "the image is always whole";
    const ImageHeader h = decode_header(file);
    EXPECT_EQ(h.sectors_per_track, 9u);
    EXPECT_STREQ(h.label, "rescued");
    std::vector<std::byte> filled(sector);
    for (std::size_t i = 0; i < sectors; ++i) {
      if (out.map.status_at(i * sector) == Status::rescued) {
        EXPECT_TRUE(same(image_sector(file, i), disk_sector(i))) << "sector " << i;
      } else {
        fill_sector(fill, i, filled);
        EXPECT_TRUE(same(image_sector(file, i), filled)) << "sector " << i;
      }
    }
    const std::vector<std::byte> text = read_file(out.map_path);
    std::string error;
    const std::optional<RescueMap> saved =
        parse_map(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), sector,
                  sectors * sector, error);
    ASSERT_TRUE(saved) << error;
    EXPECT_EQ(saved->areas(), out.map.areas());
  }

  FakePlatform fake_;
  TempDir dir_;
  FakeMedium medium_;
  int requests_ = 0;  // reads the last run asked of the drive
};

struct DamageCase {
  const char* name;
  std::set<std::size_t> bad;
  std::map<std::size_t, int> failing;  // reads that fail before the sector reads
  int retries;
  Fill fill;
  std::set<std::size_t> still_bad;
};

TEST_F(Rescue, EveryReadableSectorIsRescuedAndOnlyTheBadOnesStayBad) {
  std::set<std::size_t> all;
  for (std::size_t i = 0; i < sectors; ++i) all.insert(i);
  std::set<std::size_t> bad_run;
  for (std::size_t i = 110; i < 142; ++i) bad_run.insert(i);  // across two large reads
  const DamageCase cases[] = {
      {"clean disk", {}, {}, 2, Fill::zero, {}},
      {"single bad sector", {40}, {}, 2, Fill::zero, {40}},
      {"bad run", bad_run, {}, 2, Fill::zero, bad_run},
      {"bad first and last sector", {0, sectors - 1}, {}, 2, Fill::marker, {0, sectors - 1}},
      {"everything bad", all, {}, 1, Fill::marker, all},
      // The large read, its track, the trim and the first retry fail.
      {"reads on the second retry", {}, {{40, 4}}, 2, Fill::zero, {}},
      {"one retry is not enough", {}, {{40, 4}}, 1, Fill::zero, {40}},
  };
  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.name);
    medium_ = make_medium(40, 2, 9);
    medium_.bad_blocks = c.bad;
    medium_.failing_reads = c.failing;
    std::filesystem::remove(dir_.path("disk.img"));
    std::filesystem::remove(dir_.path("disk.img.map"));
    const RescueOutcome out = run(c.retries, c.fill);
    EXPECT_EQ(out.job.code, JOB_OK);
    EXPECT_FALSE(out.resumed);
    const std::vector<uint64_t> bad = sectors_in(out.map, sector, SectorState::bad);
    EXPECT_EQ(std::set<std::size_t>(bad.begin(), bad.end()), c.still_bad);
    EXPECT_EQ(sectors_in(out.map, sector, SectorState::untried).size(), 0u);
    EXPECT_EQ(out.map.phase, Phase::finished);
    expect_consistent(out, c.fill);
    // No sector is read more than the passes need: a good one at most in a
    // failed large read, a failed track and once alone, a bad one also once
    // per retry.
    const FakeMedium after = fake_.medium("A");
    for (const auto& [index, count] : after.reads) {
      const bool damaged = c.bad.contains(index) || c.failing.contains(index);
      EXPECT_LE(count, damaged ? 3 + c.retries : 3) << "sector " << index;
    }
  }
}

TEST_F(Rescue, OnlyTheTrackOfABadSectorIsReadSectorBySector) {
  medium_.bad_blocks = {40};  // on the track of sectors 36 to 44
  ASSERT_EQ(run().job.code, JOB_OK);
  // 6 large reads, the 14 tracks of the failed one, 9 sectors of the bad
  // sector's track, 2 retries; not the failed large read sector by sector.
  EXPECT_EQ(requests_, 6 + 14 + 9 + 2);
}

TEST_F(Rescue, AnInterruptedRunResumesWithoutReadingRescuedSectorsAgain) {
  medium_.bad_blocks = {40, 41, 300};
  // Stopped in the first pass, after it skipped ahead twice.
  const RescueOutcome first = run(2, Fill::marker, 3);
  EXPECT_EQ(first.job.code, JOB_CANCELLED);
  EXPECT_GT(first.map.bytes(Status::non_tried), 0u);
  EXPECT_GT(first.map.bytes(Status::rescued), 0u);
  expect_consistent(first, Fill::marker);

  // The same command again, on the disk after cleaning: all reads now but
  // that of the first sector rescued before, which a failing read of it
  // leaves rescued.
  const FakeMedium before = fake_.medium("A");
  medium_.bad_blocks = {first.map.next(Status::rescued, 0)->pos / sector};
  medium_.reads = before.reads;
  const RescueOutcome second = run(2, Fill::zero);
  EXPECT_EQ(second.job.code, JOB_OK);
  EXPECT_TRUE(second.resumed);
  EXPECT_TRUE(second.map.complete());
  expect_consistent(second, Fill::zero);
  // Rescued sectors are read again only as the few that check the disk.
  const FakeMedium after = fake_.medium("A");
  int read_again = 0;
  for (std::size_t i = 0; i < sectors; ++i) {
    if (first.map.status_at(i * sector) == Status::rescued) {
      EXPECT_LE(after.reads.at(i), before.reads.at(i) + 1) << "sector " << i;
      read_again += after.reads.at(i) - before.reads.at(i);
    }
  }
  EXPECT_LE(read_again, 20);
}

TEST_F(Rescue, RefusesAMapOrImageThatIsNotThisDisksAndNeverEmptiesAnImage) {
  ASSERT_EQ(run().job.code, JOB_OK);
  // A bigger disk than the map describes is fine (ddrescue may map only the
  // start); a smaller one, or an image of another geometry, is not.
  medium_ = make_medium(20, 2, 9);
  const RescueOutcome smaller = run();
  EXPECT_EQ(smaller.job.code, outcome::map_unusable);
  EXPECT_FALSE(smaller.problem.empty());

  medium_ = make_medium(40, 2, 9);
  medium_.geometry.sectors_per_track = 18;
  medium_.geometry.cylinders = 20;
  const RescueOutcome other = run();
  EXPECT_EQ(other.job.code, JOB_GEOMETRY_MISMATCH);

  testing::write_file(dir_.path("disk.img.map"), {std::byte{'x'}});
  EXPECT_EQ(run().job.code, outcome::map_unusable);
  EXPECT_EQ(image().size(), header + sectors * sector) << "the image is left alone";

  // Without its map, an earlier image is never emptied for a fresh start.
  std::filesystem::remove(dir_.path("disk.img.map"));
  medium_ = make_medium(40, 2, 9);
  EXPECT_EQ(run().job.code, JOB_IMAGE_CREATE_FAILED);
  EXPECT_EQ(image().size(), header + sectors * sector) << "the image is left alone";
}

TEST_F(Rescue, AStopRequestEndsEvenTheLoadingOfAMap) {
  ASSERT_EQ(run().job.code, JOB_OK);
  const std::vector<std::byte> before = image();
  // A map of many pieces, broken only at its end.
  std::string text = "0x0 + 1\n";
  while (text.size() < 4 * 64 * 1024) text += "# a long map\n";
  text += "0x0 0x200 +\nnonsense\n";
  const auto bytes = std::as_bytes(std::span(text));
  testing::write_file(dir_.path("disk.img.map"), {bytes.begin(), bytes.end()});
  // Asks to stop from its second look on: within the map's pieces.
  class StopSink final : public RescueSink {
   public:
    void progress(const JobProgress&) override {}
    bool cancel_requested() override { return ++looks_ > 1; }

   private:
    int looks_ = 0;
  } sink;
  fake_.insert("A", medium_);
  RescueRequest request;
  request.job.drive = "A";
  request.job.image = dir_.path("disk.img");
  EXPECT_EQ(run_rescue_job(request, sink).job.code, JOB_CANCELLED);
  EXPECT_EQ(image(), before);
}

TEST_F(Rescue, AFailingImageFileIsNeverReportedAsRescued) {
  // Room for the whole new image and one large read, not a second.
  fake_.fill_image_file_system_after(header + (sectors + cluster) * sector + 100);
  const RescueOutcome out = run();
  EXPECT_EQ(out.job.code, JOB_HEADER_WRITE_FAILED);
  EXPECT_EQ(out.map.bytes(Status::rescued), cluster * sector);
  expect_consistent(out, Fill::zero);
}

}  // namespace
}  // namespace tessil::rescue
