// An empty FAT12 file system for a freshly formatted floppy: the values a
// disk of each standard format has always carried, so that any machine
// that reads the format reads the volume.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "standard_formats.h"

namespace tessil::format {

// Why `label` cannot be a FAT volume label, in words; nothing when it can
// (an empty label means none).
std::optional<std::string> fat_label_problem(std::string_view label);

// What sets one formatting apart from another: the volume's serial number,
// and the label's date and time packed as DOS packs them. The defaults are
// fixed so that the same call gives the same bytes; the date is 1 January
// 1980, the first a FAT date can hold.
struct FatStamp {
  uint32_t serial = 0;
  uint16_t date = (1 << 5) | 1;
  uint16_t time = 0;
};

// The first sectors of an empty FAT12 volume of `format`: the boot sector,
// both FATs and the root directory, with `label` as its volume label. They
// are written at the disk's start; the sectors after them are free
// clusters. Empty when `format` has no FAT12 layout of its own or the label
// is one fat_label_problem refuses.
std::vector<std::byte> empty_fat12(const StandardFormat& format, std::string_view label,
                                   const FatStamp& stamp = {});

}  // namespace tessil::format
