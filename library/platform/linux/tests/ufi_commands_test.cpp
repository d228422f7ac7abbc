// The bytes of the UFI commands that format a USB floppy, and the formats
// read from the replies real drives give to READ FORMAT CAPACITIES.
#include "platform/linux/ufi_commands.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "platform/linux/scsi_transport.h"

namespace {

using namespace tessil::platform::linux_os;
using Bytes = std::vector<uint8_t>;

// A capacity list: the header, then each 8-byte descriptor.
Bytes capacity_list(std::initializer_list<Bytes> descriptors) {
  Bytes reply{0, 0, 0, static_cast<uint8_t>(descriptors.size() * 8)};
  for (const Bytes& d : descriptors) reply.insert(reply.end(), d.begin(), d.end());
  return reply;
}

std::vector<std::string_view> names(std::span<const uint8_t> reply) {
  std::vector<std::string_view> out;
  for (const tessil::StandardFormat* f : ufi_parse_format_capacities(reply)) out.push_back(f->name);
  return out;
}

// Blocks 2880, 1232, 1440, 2400 and the kind (2 formatted, 3 no disk) in byte 4.
const Bytes current_1440 = {0x00, 0x00, 0x0B, 0x40, 0x02, 0x00, 0x02, 0x00};
const Bytes no_disk_1440 = {0x00, 0x00, 0x0B, 0x40, 0x03, 0x00, 0x02, 0x00};
const Bytes fmt_1440 = {0x00, 0x00, 0x0B, 0x40, 0x00, 0x00, 0x02, 0x00};
const Bytes fmt_1232x1024 = {0x00, 0x00, 0x04, 0xD0, 0x00, 0x00, 0x04, 0x00};
const Bytes fmt_720 = {0x00, 0x00, 0x05, 0xA0, 0x00, 0x00, 0x02, 0x00};
const Bytes fmt_1200 = {0x00, 0x00, 0x09, 0x60, 0x00, 0x00, 0x02, 0x00};

TEST(UfiFormatCapacitiesTest, ReadsTheStandardFormatsRealDrivesReport) {
  // A 1.44 MB disk in the drive: the Japanese 1024-byte format is no
  // standard one and is left out.
  EXPECT_EQ(names(capacity_list({current_1440, fmt_1440, fmt_1232x1024, fmt_720})),
            (std::vector<std::string_view>{"720 KB", "1.44 MB"}));
  // No disk: only the most the drive takes.
  EXPECT_EQ(names(capacity_list({no_disk_1440})), (std::vector<std::string_view>{"1.44 MB"}));
  // A three-mode drive that also lays down 1.2 MB.
  EXPECT_EQ(names(capacity_list({current_1440, fmt_1440, fmt_1200, fmt_1232x1024, fmt_720})),
            (std::vector<std::string_view>{"720 KB", "1.2 MB", "1.44 MB"}));
}

TEST(UfiFormatCapacitiesTest, ReadsNoFurtherThanTheReplyGoes) {
  Bytes claims_more = capacity_list({current_1440, fmt_720});
  claims_more[3] = 0xF8;
  EXPECT_EQ(names(claims_more), (std::vector<std::string_view>{"720 KB", "1.44 MB"}));
  // A list length that is no multiple of 8 ends at the last whole descriptor.
  Bytes odd = capacity_list({current_1440, fmt_720});
  odd[3] = 15;
  EXPECT_EQ(names(odd), (std::vector<std::string_view>{"1.44 MB"}));
  // Cut off inside the second descriptor, and inside the header.
  const Bytes full = capacity_list({current_1440, fmt_720});
  EXPECT_EQ(names(std::span(full).first(19)), (std::vector<std::string_view>{"1.44 MB"}));
  EXPECT_TRUE(names(std::span(full).first(3)).empty());
  EXPECT_TRUE(names({}).empty());
  // Sizes of no standard format.
  EXPECT_TRUE(
      names(capacity_list({{0, 0, 0x03, 0xE8, 2, 0, 2, 0}, {0, 0, 0, 0, 0, 0, 0, 0}})).empty());
}

TEST(UfiFormatUnitTest, BuildsOneTrackOfEachSide) {
  const UfiCdb read_capacities = {0x23, 0, 0, 0, 0, 0, 0, 0x00, 0xFC, 0, 0, 0};
  EXPECT_EQ(ufi_read_format_capacities(), read_capacities);

  const auto& hd = *tessil::standard_format_of(1'474'560);
  const auto& dd = *tessil::standard_format_of(737'280);
  const UfiCdb cdb_0 = {0x04, 0x17, 0, 0, 0, 0, 0, 0, 12, 0, 0, 0};
  const UfiCdb cdb_79 = {0x04, 0x17, 79, 0, 0, 0, 0, 0, 12, 0, 0, 0};
  using Parameters = std::array<uint8_t, 12>;

  UfiFormatTrack c = ufi_format_track(hd, 0, 0);
  EXPECT_EQ(c.cdb, cdb_0);
  EXPECT_EQ(c.parameters, (Parameters{0, 0xB0, 0, 8, 0, 0, 0x0B, 0x40, 0, 0, 0x02, 0}));
  c = ufi_format_track(hd, 79, 1);
  EXPECT_EQ(c.cdb, cdb_79);
  EXPECT_EQ(c.parameters, (Parameters{0, 0xB1, 0, 8, 0, 0, 0x0B, 0x40, 0, 0, 0x02, 0}));
  c = ufi_format_track(dd, 0, 0);
  EXPECT_EQ(c.cdb, cdb_0);
  EXPECT_EQ(c.parameters, (Parameters{0, 0xB0, 0, 8, 0, 0, 0x05, 0xA0, 0, 0, 0x02, 0}));
  c = ufi_format_track(dd, 79, 1);
  EXPECT_EQ(c.cdb, cdb_79);
  EXPECT_EQ(c.parameters, (Parameters{0, 0xB1, 0, 8, 0, 0, 0x05, 0xA0, 0, 0, 0x02, 0}));
}

TEST(ScsiSenseTest, ReadsFixedAndDescriptorSense) {
  Bytes fixed(18, 0);
  fixed[0] = 0xF0;  // valid bit set
  fixed[2] = 0x07;
  fixed[12] = 0x27;
  const ScsiStatus protect = check_condition_of(fixed);
  EXPECT_EQ(protect.sense_key, 0x07);
  EXPECT_EQ(protect.asc, 0x27);
  EXPECT_EQ(protect.error(), tessil::platform::Error::read_only);

  const ScsiStatus empty = check_condition_of(Bytes{0x72, 0x02, 0x3A, 0x01});
  EXPECT_EQ(empty.ascq, 0x01);
  EXPECT_EQ(empty.error(), tessil::platform::Error::no_medium);

  // Cut short, or of no known format: still a refusal.
  EXPECT_EQ(check_condition_of(Bytes{0x70, 0x00, 0x02}).error(), tessil::platform::Error::io);
  EXPECT_EQ(check_condition_of({}).error(), tessil::platform::Error::io);
}

}  // namespace
