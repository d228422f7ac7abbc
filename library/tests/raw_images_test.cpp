// Raw images, conversion, the verify job and checksums, against scripted
// drives. The jobs are run directly, as the command-line program runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "data_digest.h"
#include "fake_platform.h"
#include "image_format.h"
#include "jobs.h"
#include "raw_image.h"
#include "standard_formats.h"
#include "tessil.h"
#include "verify_job.h"

namespace tessil {
namespace {

using testing::FakeMedium;
using testing::FakePlatform;
using testing::make_medium;
using testing::read_file;
using testing::TempDir;
using testing::write_file;

constexpr std::size_t block = TESSIL_BLOCK_SIZE;

// Collects the progress and cancels once a chosen amount was moved.
class RecordingSink final : public JobSink {
 public:
  uint64_t cancel_after = UINT64_MAX;
  int32_t last_percent = -1;
  void progress(const JobProgress& p) override {
    last_percent = p.percent;
    done_ = p.done;
  }
  // Once asked for, a cancel stays asked for, as the library's flag does.
  bool cancel_requested() override { return cancelled_ = cancelled_ || done_ >= cancel_after; }

 private:
  uint64_t done_ = 0;
  bool cancelled_ = false;
};

std::vector<std::byte> with_header(const FakeMedium& medium, std::string_view label = "") {
  ImageHeader h{};
  h.cylinders = static_cast<uint32_t>(medium.geometry.cylinders);
  h.tracks_per_cylinder = medium.geometry.tracks_per_cylinder;
  h.sectors_per_track = medium.geometry.sectors_per_track;
  h.bytes_per_sector = medium.geometry.bytes_per_sector;
  set_label(h, label);
  const HeaderBytes bytes = encode_header(h);
  std::vector<std::byte> image(bytes.size() + medium.data.size());
  std::copy(bytes.begin(), bytes.end(), image.begin());
  std::copy(medium.data.begin(), medium.data.end(), image.begin() + bytes.size());
  return image;
}

std::vector<std::byte> header_bytes(uint32_t c, uint32_t h, uint32_t s, uint32_t bps) {
  const HeaderBytes bytes = encode_header(ImageHeader{c, h, s, bps, {}});
  return {bytes.begin(), bytes.end()};
}

// One classification for every command: a standard size is raw, a
// plausible header with at most its data is tessil (cut short or whole),
// anything else, nonsense headers above all, is neither.
TEST(ImageKinds, OneClassificationOfFilesAndDevices) {
  TempDir dir;
  const auto with = [](std::vector<std::byte> head, std::size_t data) {
    head.resize(head.size() + data, std::byte{0x5A});
    return head;
  };
  const struct {
    const char* name;
    std::vector<std::byte> bytes;
    ImageKind kind;
  } rows[] = {
      {"whole", with(header_bytes(80, 2, 18, 512), 1'474'560), ImageKind::tessil},
      {"truncated", with(header_bytes(80, 2, 18, 512), 51'200), ImageKind::tessil},
      {"header alone", header_bytes(40, 1, 8, 512), ImageKind::tessil},
      {"longer than its geometry", with(header_bytes(40, 1, 8, 512), 163'840 + 512),
       ImageKind::neither},
      {"zero geometry", with(header_bytes(0, 0, 0, 0), 512), ImageKind::neither},
      {"wrapping geometry", with(header_bytes(65536, 65536, 65536, 65536), 512),
       ImageKind::neither},
      {"huge geometry", with(header_bytes(18752, 1111361, 1728809, 512), 512), ImageKind::neither},
      {"odd sector size", with(header_bytes(80, 2, 18, 500), 512), ImageKind::neither},
      {"text", std::vector<std::byte>(995, std::byte{'t'}), ImageKind::neither},
      {"cut header", std::vector<std::byte>(100), ImageKind::neither},
      {"empty", {}, ImageKind::neither},
      {"raw", std::vector<std::byte>(1'474'560, std::byte{1}), ImageKind::raw},
      {"raw and a byte", std::vector<std::byte>(1'474'561), ImageKind::neither},
  };
  for (const auto& row : rows) {
    const std::string path = dir.path(row.name);
    write_file(path, row.bytes);
    ImageFileInfo info;
    platform::Error error = platform::Error::none;
    ASSERT_EQ(inspect_image(path, false, info, error), InspectResult::ok) << row.name;
    EXPECT_EQ(info.kind, row.kind) << row.name;
  }
  // A device is judged by its device size: a loop device over a raw image
  // is that raw image.
  const std::string attached = testing::run_command("losetup -f --show " + dir.path("raw"));
  if (attached.empty()) GTEST_SKIP() << "no loop device here";
  ImageFileInfo info;
  platform::Error error = platform::Error::none;
  EXPECT_EQ(inspect_image(attached, false, info, error), InspectResult::ok);
  EXPECT_EQ(info.kind, ImageKind::raw);
  testing::run_command("losetup -d " + attached);
}

TEST(ImageKinds, SectorAddressesCountSectorsFromOne) {
  const struct {
    uint64_t number, cylinder;
    uint32_t head, sector;
  } rows[] = {{0, 0, 0, 1}, {17, 0, 0, 18}, {18, 0, 1, 1}, {36, 1, 0, 1}, {2879, 79, 1, 18}};
  for (const auto& row : rows) {
    const SectorAddress a = sector_address(row.number, 2, 18);
    EXPECT_EQ(a.number, row.number);
    EXPECT_EQ(a.cylinder, row.cylinder) << row.number;
    EXPECT_EQ(a.head, row.head) << row.number;
    EXPECT_EQ(a.sector, row.sector) << row.number;
  }
}

TEST(Checksums, KnownAnswersOfTheCryptoLibrary) {
  DataDigest digest;
  const char text[] = "abc";
  digest.update(std::as_bytes(std::span(text, 3)));
  const Checksums sums = digest.finish();
  EXPECT_EQ(sums.sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sums.md5, "900150983cd24fb0d6963f7d28e17f72");
}

class RawImages : public ::testing::Test {
 protected:
  JobRequest request(const std::string& image, bool raw_image) {
    JobRequest r;
    r.drive = "A";
    r.image = image;
    r.raw_image = raw_image;
    r.checksums = true;
    return r;
  }
  FakePlatform fake;
  TempDir dir;
  RecordingSink sink;
  FakeMedium medium = make_medium(80, 2, 18);
  std::string raw = dir.path("disk.ima");
  std::string tessil = dir.path("disk.img");
};

// Read raw, write raw back onto a blank disk, read a tessil image: the
// same data and the same checksums all the way.
TEST_F(RawImages, ReadAndWriteCarryTheSectorsAndTheirChecksums) {
  fake.insert("A", medium);
  const JobOutcome read_raw = run_read_job(request(raw, true), sink);
  ASSERT_EQ(read_raw.code, JOB_OK);
  EXPECT_EQ(read_file(raw), medium.data);
  ASSERT_FALSE(read_raw.checksums.empty());

  FakeMedium blank = medium;
  std::fill(blank.data.begin(), blank.data.end(), std::byte{0});
  fake.insert("A", blank);
  const JobOutcome write_raw = run_write_job(request(raw, true), sink);
  ASSERT_EQ(write_raw.code, JOB_OK);
  EXPECT_EQ(fake.contents("A"), medium.data);
  EXPECT_EQ(write_raw.checksums.sha256, read_raw.checksums.sha256);

  const JobOutcome read_tessil = run_read_job(request(tessil, false), sink);
  ASSERT_EQ(read_tessil.code, JOB_OK);
  EXPECT_EQ(read_tessil.checksums.sha256, read_raw.checksums.sha256);
  EXPECT_EQ(read_tessil.checksums.md5, read_raw.checksums.md5);
  ImageFileInfo info;
  platform::Error error;
  ASSERT_EQ(inspect_image(tessil, true, info, error), InspectResult::ok);
  EXPECT_EQ(info.kind, ImageKind::tessil);
  EXPECT_EQ(info.checksums.sha256, read_raw.checksums.sha256);
}

TEST_F(RawImages, ARawImageOfAnotherFormatNeverTouchesTheDisk) {
  fake.insert("A", medium);
  write_file(raw, make_medium(80, 2, 9).data);  // 720 KB onto a 1.44 MB disk
  EXPECT_EQ(run_write_job(request(raw, true), sink).code, JOB_GEOMETRY_MISMATCH);
  write_file(raw, std::vector<std::byte>(1'474'560 + 512));  // no standard size at all
  EXPECT_EQ(run_write_job(request(raw, true), sink).code, JOB_GEOMETRY_MISMATCH);
  EXPECT_EQ(fake.drive_opens(), 0);
  EXPECT_EQ(fake.contents("A"), medium.data);
}

TEST_F(RawImages, TheCEntryPointStillRefusesARawImage) {
  fake.insert("A", medium);
  write_file(raw, make_medium(80, 2, 18).data);
  ASSERT_EQ(writedisk("A", raw.c_str()), 0);
  ASSERT_TRUE(testing::wait_idle());
  EXPECT_EQ(getreturnvalue(), JOB_GEOMETRY_MISMATCH);
  EXPECT_EQ(fake.drive_opens(), 0);
}

TEST_F(RawImages, ConvertsBothWaysByteForByte) {
  write_file(tessil, with_header(medium, "Old label"));
  const std::string back = dir.path("back.img");
  ConvertOutcome to_raw = convert_image({tessil, raw, std::nullopt, false});
  ASSERT_EQ(to_raw.result, ConvertResult::ok);
  EXPECT_EQ(to_raw.from, ImageKind::tessil);
  EXPECT_EQ(read_file(raw), medium.data);
  const ConvertOutcome to_tessil = convert_image({raw, back, "New label", false});
  ASSERT_EQ(to_tessil.result, ConvertResult::ok);
  EXPECT_EQ(to_tessil.from, ImageKind::raw);
  EXPECT_EQ(read_file(back), with_header(medium, "New label"));
  EXPECT_EQ(to_raw.checksums.sha256, to_tessil.checksums.sha256);
}

TEST_F(RawImages, ConvertRefusesWhatItCannotDoAndKeepsWhatExists) {
  write_file(tessil, with_header(medium));
  const std::vector<std::byte> kept(1234, std::byte{7});
  write_file(raw, kept);
  const std::string odd = dir.path("odd.bin");
  write_file(odd, std::vector<std::byte>(1000));
  const std::string misfit = dir.path("misfit.img");
  std::vector<std::byte> short_image = with_header(medium);
  short_image.resize(short_image.size() - block);  // a header promising one sector more
  write_file(misfit, short_image);

  const struct {
    ConvertRequest request;
    ConvertResult result;
  } rows[] = {
      {{tessil, raw, std::nullopt, false}, ConvertResult::output_exists},
      {{tessil, tessil, std::nullopt, true}, ConvertResult::same_file},
      {{odd, dir.path("x"), std::nullopt, false}, ConvertResult::not_an_image},
      {{misfit, dir.path("y"), std::nullopt, false}, ConvertResult::no_raw_format},
      {{dir.path("missing"), dir.path("z"), std::nullopt, false}, ConvertResult::input_unreadable},
  };
  for (const auto& row : rows)
    EXPECT_EQ(convert_image(row.request).result, row.result) << row.request.input;
  EXPECT_EQ(read_file(raw), kept);
  EXPECT_EQ(read_file(tessil), with_header(medium));
  for (const char* name : {"x", "y", "z"}) EXPECT_FALSE(std::filesystem::exists(dir.path(name)));

  EXPECT_EQ(convert_image({tessil, raw, std::nullopt, true}).result, ConvertResult::ok);
  EXPECT_EQ(read_file(raw), medium.data);
}

class VerifyJob : public RawImages {
 protected:
  VerifyOutcome verify(bool raw_image = false) {
    return run_verify_job(request(raw_image ? raw : tessil, raw_image), sink);
  }
};

TEST_F(VerifyJob, AMatchingDiskIsReadFromTheMediumAndPasses) {
  fake.insert("A", medium);
  write_file(tessil, with_header(medium));
  write_file(raw, medium.data);
  for (const bool raw_image : {false, true}) {
    const VerifyOutcome v = verify(raw_image);
    EXPECT_EQ(v.outcome.code, JOB_OK);
    EXPECT_EQ(v.sectors, 2880u);
    EXPECT_EQ(v.differing_sectors, 0u);
    EXPECT_EQ(sink.last_percent, 100);
    EXPECT_FALSE(v.outcome.checksums.empty());
  }
  EXPECT_EQ(fake.verify_opens(), 2);
  EXPECT_EQ(fake.drive_opens(), 0);
  EXPECT_EQ(fake.contents("A"), medium.data);
}

TEST_F(VerifyJob, CountsDifferingSectorsAndListsTheFirstFew) {
  FakeMedium changed = medium;
  const std::size_t planted[] = {0, 18, 19, 36, 100, 2879, 2000};
  for (const std::size_t sector : planted) changed.data[sector * block + 7] ^= std::byte{0x55};
  fake.insert("A", changed);
  write_file(tessil, with_header(medium));
  const VerifyOutcome v = verify();
  EXPECT_EQ(v.outcome.code, outcome::verify_failed);
  EXPECT_EQ(v.differing_sectors, std::size(planted));
  ASSERT_EQ(v.first_differences.size(), listed_differences);
  const uint64_t first[] = {0, 18, 19, 36, 100};
  for (std::size_t i = 0; i < listed_differences; ++i)
    EXPECT_EQ(v.first_differences[i].number, first[i]);
  EXPECT_EQ(v.first_differences[2].cylinder, 0u);
  EXPECT_EQ(v.first_differences[2].head, 1u);
  EXPECT_EQ(v.first_differences[2].sector, 2u);
}

TEST_F(VerifyJob, FailuresAreToldApartFromDifferences) {
  write_file(tessil, with_header(medium));
  FakeMedium failing = medium;
  failing.read_error_at = 40;
  fake.insert("A", failing);
  EXPECT_EQ(verify().outcome.code, JOB_SHORT_READ);

  fake.insert("A", medium);
  sink = RecordingSink();
  sink.cancel_after = 10 * block;
  EXPECT_EQ(verify().outcome.code, JOB_CANCELLED);
  sink = RecordingSink();

  std::vector<std::byte> short_image = with_header(medium);
  short_image.resize(short_image.size() - block);
  write_file(tessil, short_image);
  EXPECT_EQ(verify().outcome.code, JOB_GEOMETRY_MISMATCH);
  write_file(raw, make_medium(80, 2, 9).data);
  EXPECT_EQ(verify(true).outcome.code, JOB_GEOMETRY_MISMATCH);
  EXPECT_EQ(run_verify_job(request(dir.path("none"), false), sink).outcome.code,
            JOB_IMAGE_OPEN_FAILED);

  FakeMedium empty = medium;
  empty.query_error = platform::Error::no_medium;
  fake.insert("A", empty);
  EXPECT_EQ(verify().outcome.code, JOB_NO_MEDIA);
}

// The engine works on the platform its request names, never on the
// process's: the drive A of a second platform is read, written back and
// verified while the process's own A holds another disk.
TEST_F(RawImages, JobsWorkOnThePlatformTheirRequestNames) {
  fake.insert("A", make_medium(40, 1, 9));
  FakePlatform given;
  platform::substitute(&fake);
  given.insert("A", medium);
  JobRequest r = request(tessil, false);
  r.platform = &given;
  EXPECT_EQ(run_read_job(r, sink).code, JOB_OK);
  EXPECT_EQ(read_file(tessil), with_header(medium));
  EXPECT_EQ(run_verify_job(r, sink).outcome.code, JOB_OK);
  FakeMedium blank_disk = medium;
  std::fill(blank_disk.data.begin(), blank_disk.data.end(), std::byte{0});
  given.insert("A", blank_disk);
  EXPECT_EQ(run_write_job(r, sink).code, JOB_OK);
  EXPECT_EQ(given.contents("A"), medium.data);
  EXPECT_EQ(fake.drive_opens() + fake.verify_opens(), 0) << "the process's platform was used";
}

}  // namespace
}  // namespace tessil
