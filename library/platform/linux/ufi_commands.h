// The two UFI commands a USB floppy drive is formatted with, built and read
// as plain bytes: READ FORMAT CAPACITIES, which says what the drive can lay
// down, and FORMAT UNIT, which lays down one track.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "standard_formats.h"

namespace tessil::platform::linux_os {

// UFI commands are always 12 bytes long.
using UfiCdb = std::array<uint8_t, 12>;

// What READ FORMAT CAPACITIES asks for: room for the header and 31
// descriptors, more than any floppy drive lists.
inline constexpr uint16_t ufi_capacities_length = 0xFC;

UfiCdb ufi_read_format_capacities();

// The standard formats in a READ FORMAT CAPACITIES reply, as many bytes of
// it as arrived, smallest first and each once. The first descriptor counts
// too: the disk's format, the most an unformatted disk takes, or with no
// disk the most the drive takes. Sizes in sectors other than 512 bytes are
// no standard format and are left out; a list claiming more than arrived
// is read as far as it arrived.
std::vector<const StandardFormat*> ufi_parse_format_capacities(std::span<const uint8_t> reply);

struct UfiFormatTrack {
  UfiCdb cdb{};
  std::array<uint8_t, 12> parameters{};  // defect list header, format descriptor
};

// FORMAT UNIT for one side of one track of `format`, without certifying it.
UfiFormatTrack ufi_format_track(const StandardFormat& format, uint32_t cylinder, uint32_t head);

}  // namespace tessil::platform::linux_os
