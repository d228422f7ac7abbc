// The standard format a FAT boot sector was made for. Its fields are
// anybody's: only a geometry of the size table, whose total is exactly its
// cylinders, counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "standard_formats.h"

namespace tessil {

inline constexpr std::size_t boot_sector_bytes = 512;

constexpr uint32_t little_endian16(std::span<const std::byte> bytes, std::size_t at) {
  return std::to_integer<uint32_t>(bytes[at]) | std::to_integer<uint32_t>(bytes[at + 1]) << 8;
}

// The format of the FAT boot sector in the first 512 bytes, or null when
// they are none or describe no standard format.
constexpr const StandardFormat* boot_sector_format(std::span<const std::byte> bytes) {
  if (bytes.size() < boot_sector_bytes) return nullptr;
  const auto jump = std::to_integer<uint32_t>(bytes[0]);
  if (jump != 0xEB && jump != 0xE9) return nullptr;
  if (std::to_integer<uint32_t>(bytes[510]) != 0x55 ||
      std::to_integer<uint32_t>(bytes[511]) != 0xAA)
    return nullptr;
  const uint32_t bytes_per_sector = little_endian16(bytes, 11);
  const uint32_t total = little_endian16(bytes, 19);
  const uint32_t sectors_per_track = little_endian16(bytes, 24);
  const uint32_t heads = little_endian16(bytes, 26);
  if (heads == 0 || sectors_per_track == 0 || total % (heads * sectors_per_track) != 0)
    return nullptr;
  return standard_format_of(total / (heads * sectors_per_track), heads, sectors_per_track,
                            bytes_per_sector);
}

}  // namespace tessil
