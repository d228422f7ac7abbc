#include "platform/linux/ufi_commands.h"

#include <algorithm>

namespace tessil::platform::linux_os {

namespace {

constexpr uint8_t op_format_unit = 0x04;
constexpr uint8_t op_read_format_capacities = 0x23;

constexpr std::size_t header_bytes = 4;
constexpr std::size_t descriptor_bytes = 8;

// FORMAT UNIT, byte 1: format data follows (FmtData), the defect list is
// not a complete one (CmpList clear), defect list format 7.
constexpr uint8_t format_data_follows = 0x17;
// Defect list header, byte 1: the options are valid (FOV), skip certifying
// (DCRT), format one track (SingleTrack); the low bit picks the side.
constexpr uint8_t format_options = 0x80 | 0x20 | 0x10;
constexpr uint8_t format_side_1 = 0x01;

uint32_t big_endian(std::span<const uint8_t> bytes) {
  uint32_t value = 0;
  for (const uint8_t b : bytes) value = value << 8 | b;
  return value;
}

void put_big_endian(std::span<uint8_t> out, uint32_t value) {
  for (std::size_t i = out.size(); i-- > 0; value >>= 8) out[i] = static_cast<uint8_t>(value);
}

}  // namespace

UfiCdb ufi_read_format_capacities() {
  UfiCdb cdb{};
  cdb[0] = op_read_format_capacities;
  cdb[7] = static_cast<uint8_t>(ufi_capacities_length >> 8);
  cdb[8] = static_cast<uint8_t>(ufi_capacities_length & 0xFF);
  return cdb;
}

std::vector<const StandardFormat*> ufi_parse_format_capacities(std::span<const uint8_t> reply) {
  std::vector<const StandardFormat*> formats;
  if (reply.size() < header_bytes) return formats;
  const std::size_t listed = reply[3];
  const std::size_t usable = std::min(listed, reply.size() - header_bytes);
  const std::size_t count = usable / descriptor_bytes;
  for (std::size_t i = 0; i < count; ++i) {
    const std::span<const uint8_t> d = reply.subspan(header_bytes + i * descriptor_bytes, 8);
    // The first descriptor keeps its kind in byte 4; the others leave it
    // reserved. Either way the block length is the last three bytes.
    if (big_endian(d.subspan(5, 3)) != standard_sector_size) continue;
    const StandardFormat* format =
        standard_format_of(uint64_t{big_endian(d.first(4))} * standard_sector_size);
    if (format && std::find(formats.begin(), formats.end(), format) == formats.end())
      formats.push_back(format);
  }
  std::sort(formats.begin(), formats.end(),
            [](const StandardFormat* a, const StandardFormat* b) { return a->size < b->size; });
  return formats;
}

UfiFormatTrack ufi_format_track(const StandardFormat& format, uint32_t cylinder, uint32_t head) {
  UfiFormatTrack command;
  command.cdb[0] = op_format_unit;
  command.cdb[1] = format_data_follows;
  command.cdb[2] = static_cast<uint8_t>(cylinder);
  command.cdb[8] = static_cast<uint8_t>(command.parameters.size());

  std::array<uint8_t, 12>& p = command.parameters;
  p[1] = static_cast<uint8_t>(format_options | (head == 1 ? format_side_1 : 0));
  p[3] = descriptor_bytes;  // defect list length: the one format descriptor
  put_big_endian(std::span(p).subspan(4, 4),
                 static_cast<uint32_t>(format.size / standard_sector_size));
  put_big_endian(std::span(p).subspan(9, 3), standard_sector_size);
  return command;
}

}  // namespace tessil::platform::linux_os
