// The standard floppy formats, known by their size alone, and what a file of
// a given size is: a tessil image (its 316-byte header and whole sectors) or
// a raw image (the sectors of one standard format and nothing else). Plain
// constexpr code without the library, so the window can include it too.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tessil {

struct StandardFormat {
  uint64_t size;  // bytes, in 512-byte sectors
  uint32_t cylinders;
  uint32_t heads;
  uint32_t sectors_per_track;
  uint32_t media_type;    // 0: none of its own
  std::string_view name;  // as people call the disk: "1.44 MB"
};

inline constexpr uint32_t standard_sector_size = 512;

inline constexpr std::array<StandardFormat, 9> standard_formats{{
    {163'840, 40, 1, 8, 10, "160 KB"},
    {184'320, 40, 1, 9, 9, "180 KB"},
    {327'680, 40, 2, 8, 7, "320 KB"},
    {368'640, 40, 2, 9, 6, "360 KB"},
    {737'280, 80, 2, 9, 5, "720 KB"},
    {1'228'800, 80, 2, 15, 1, "1.2 MB"},
    {1'474'560, 80, 2, 18, 2, "1.44 MB"},
    {1'720'320, 80, 2, 21, 0, "1.68 MB"},  // no media type number of its own
    {2'949'120, 80, 2, 36, 3, "2.88 MB"},
}};

static_assert([] {
  for (const StandardFormat& f : standard_formats)
    if (f.size != uint64_t{f.cylinders} * f.heads * f.sectors_per_track * standard_sector_size)
      return false;
  return true;
}());

// The floppy format of exactly this many bytes, or null.
constexpr const StandardFormat* standard_format_of(uint64_t size) {
  for (const StandardFormat& format : standard_formats)
    if (format.size == size) return &format;
  return nullptr;
}

// The standard format with this geometry in 512-byte sectors, or null.
constexpr const StandardFormat* standard_format_of(uint32_t cylinders, uint32_t heads,
                                                   uint32_t sectors_per_track,
                                                   uint32_t bytes_per_sector) {
  if (bytes_per_sector != standard_sector_size) return nullptr;
  for (const StandardFormat& format : standard_formats)
    if (format.cylinders == cylinders && format.heads == heads &&
        format.sectors_per_track == sectors_per_track)
      return &format;
  return nullptr;
}

enum class ImageKind {
  tessil,   // 316 bytes of header, then whole 512-byte sectors
  raw,      // exactly the size of a standard format
  neither,  // anything else: never taken for an image
};

inline constexpr uint64_t tessil_header_bytes = 316;

// Every standard size is a multiple of 512 and a tessil image's is 316 more
// than one, so no size is both.
constexpr ImageKind image_kind_of_size(uint64_t size) {
  if (standard_format_of(size)) return ImageKind::raw;
  if (size >= tessil_header_bytes && (size - tessil_header_bytes) % standard_sector_size == 0)
    return ImageKind::tessil;
  return ImageKind::neither;
}

// Where a sector lies on a disk: its number counted from 0 in device order,
// and its cylinder, head and sector (the sector counted from 1).
struct SectorAddress {
  uint64_t number = 0;
  uint64_t cylinder = 0;
  uint32_t head = 0;
  uint32_t sector = 0;
};

constexpr SectorAddress sector_address(uint64_t number, uint32_t heads,
                                       uint32_t sectors_per_track) {
  SectorAddress address{number, 0, 0, 0};
  if (heads == 0 || sectors_per_track == 0) return address;
  const uint64_t track = number / sectors_per_track;
  address.cylinder = track / heads;
  address.head = static_cast<uint32_t>(track % heads);
  address.sector = static_cast<uint32_t>(number % sectors_per_track) + 1;
  return address;
}

}  // namespace tessil
