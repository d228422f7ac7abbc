// The USB floppy formatter against a stand-in drive that records each
// command and answers from a script.
#include "platform/linux/ufi_format.h"

#include <fcntl.h>

#include <algorithm>
#include <deque>
#include <vector>

#include <gtest/gtest.h>

#include "platform/linux/ufi_commands.h"

namespace {

using namespace tessil::platform::linux_os;
using tessil::platform::Error;
using Bytes = std::vector<uint8_t>;

struct Sent {
  Bytes cdb;
  Bytes to_device;
  std::size_t from_device_room = 0;
  std::chrono::milliseconds timeout{};
};

struct Answer {
  ScsiStatus status;
  Bytes reply;  // copied into the buffer; `received` says how much counts
  std::size_t received = ~std::size_t{0};
};

class FakeScsi final : public ScsiTransport {
 public:
  FakeScsi(std::vector<Sent>& sent, std::deque<Answer>& answers) : sent_(sent), answers_(answers) {}

  ScsiStatus run(std::span<const uint8_t> cdb, ScsiData data,
                 std::chrono::milliseconds timeout) override {
    sent_.push_back({Bytes(cdb.begin(), cdb.end()),
                     Bytes(data.to_device.begin(), data.to_device.end()), data.from_device.size(),
                     timeout});
    if (answers_.empty()) return {};
    Answer answer = answers_.front();
    answers_.pop_front();
    const std::size_t n = std::min(answer.reply.size(), data.from_device.size());
    std::copy_n(answer.reply.begin(), n, data.from_device.begin());
    answer.status.received = std::min(n, answer.received);
    return answer.status;
  }

 private:
  std::vector<Sent>& sent_;
  std::deque<Answer>& answers_;
};

// A drive with a 1.44 MB disk that also formats 720 KB.
const Bytes high_density_drive = {0,    0,    0, 24, 0, 0, 0x0B, 0x40, 2,    0,    2, 0, 0, 0,
                                  0x0B, 0x40, 0, 0,  2, 0, 0,    0,    0x05, 0xA0, 0, 0, 2, 0};

ScsiStatus refused(uint8_t key, uint8_t asc = 0) {
  ScsiStatus status;
  status.kind = ScsiStatus::Kind::check_condition;
  status.sense_key = key;
  status.asc = asc;
  return status;
}

ScsiStatus not_delivered(Error error) {
  ScsiStatus status;
  status.kind = ScsiStatus::Kind::failed;
  status.failure = error;
  return status;
}

class UfiFormatterTest : public ::testing::Test {
 protected:
  std::unique_ptr<tessil::platform::DiskFormatter> formatter() {
    answers_.push_back({{}, high_density_drive});
    Error error = Error::other;
    auto made = ufi_formatter(std::make_unique<FakeScsi>(sent_, answers_), error);
    EXPECT_EQ(error, Error::none);
    return made;
  }
  // What a track's format answers when the drive says `statuses` to it.
  Error track_answered(std::initializer_list<ScsiStatus> statuses) {
    auto f = formatter();
    answers_.push_back({{}, high_density_drive});
    EXPECT_EQ(f->begin(*tessil::standard_format_of(1'474'560)), Error::none);
    for (const ScsiStatus& status : statuses) answers_.push_back({status, {}});
    return f->format_track(0, 0);
  }

  std::vector<Sent> sent_;
  std::deque<Answer> answers_;
};

TEST_F(UfiFormatterTest, LaysDownEachTrackOfAFormatTheDriveOffers) {
  auto f = formatter();
  ASSERT_TRUE(f);
  answers_.push_back({{}, high_density_drive});
  const std::vector<const tessil::StandardFormat*> offered = f->formats();
  ASSERT_EQ(offered.size(), 2u);
  EXPECT_EQ(offered[0]->name, "720 KB");
  EXPECT_EQ(offered[1]->name, "1.44 MB");

  answers_.push_back({{}, high_density_drive});
  ASSERT_EQ(f->begin(*offered[0]), Error::none);
  sent_.clear();
  EXPECT_EQ(f->format_track(0, 0), Error::none);
  EXPECT_EQ(f->format_track(0, 1), Error::none);
  EXPECT_EQ(f->format_track(80, 0), Error::other);  // past the last cylinder
  EXPECT_EQ(f->end(), Error::none);
  EXPECT_EQ(f->format_track(1, 0), Error::other);  // ended

  ASSERT_EQ(sent_.size(), 2u);
  const UfiFormatTrack head_1 = ufi_format_track(*offered[0], 0, 1);
  EXPECT_EQ(sent_[1].cdb, Bytes(head_1.cdb.begin(), head_1.cdb.end()));
  EXPECT_EQ(sent_[1].to_device, Bytes(head_1.parameters.begin(), head_1.parameters.end()));
  EXPECT_EQ(sent_[1].timeout, ufi_format_timeout);

  // A format the drive does not offer is refused before anything is sent.
  answers_.push_back({{}, high_density_drive});
  sent_.clear();
  EXPECT_EQ(f->begin(*tessil::standard_format_of(1'228'800)), Error::other);
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].cdb[0], 0x23);
  EXPECT_EQ(sent_[0].from_device_room, ufi_capacities_length);
  EXPECT_EQ(f->format_track(0, 0), Error::other);
}

TEST_F(UfiFormatterTest, ARefusalOrAFailedCommandIsNeverSuccess) {
  EXPECT_EQ(track_answered({refused(sense_data_protect, 0x27)}), Error::read_only);
  EXPECT_EQ(track_answered({refused(sense_not_ready, asc_medium_not_present)}), Error::no_medium);
  EXPECT_EQ(track_answered({refused(0x3, 0x31)}), Error::io);  // medium error
  EXPECT_EQ(track_answered({not_delivered(Error::io)}), Error::io);
  EXPECT_EQ(track_answered({not_delivered(Error::none)}), Error::io);
  // A disk changed since begin() gets no more of the format.
  EXPECT_EQ(track_answered({refused(sense_unit_attention, 0x28)}), Error::io);
}

TEST_F(UfiFormatterTest, TakesOnlyWhatTheDriveSentAndNeedsAnAnswer) {
  Error error = Error::none;
  answers_.push_back({{}, high_density_drive, 12});
  FakeScsi drive(sent_, answers_);
  const std::vector<const tessil::StandardFormat*> offered = ufi_formats(drive, error);
  EXPECT_EQ(error, Error::none);
  ASSERT_EQ(offered.size(), 1u);
  EXPECT_EQ(offered[0]->name, "1.44 MB");

  // The question is asked again after the drive says its disk changed.
  answers_.push_back({refused(sense_unit_attention, 0x28), {}});
  answers_.push_back({{}, high_density_drive});
  EXPECT_EQ(ufi_formats(drive, error).size(), 2u);
  EXPECT_EQ(error, Error::none);

  answers_.push_back({not_delivered(Error::access_denied), {}});
  EXPECT_FALSE(ufi_formatter(std::make_unique<FakeScsi>(sent_, answers_), error));
  EXPECT_EQ(error, Error::access_denied);

  // A device that knows no SG_IO: no formats and no formatter.
  EXPECT_TRUE(ufi_formats(open_fd("/dev/null", O_RDWR).get()).empty());
  error = Error::none;
  EXPECT_FALSE(ufi_formatter(open_fd("/dev/null", O_RDWR), error));
  EXPECT_NE(error, Error::none);
}

}  // namespace
