// The standard floppy formats, known by their size alone, and what a file of
// a given size and header is: a tessil image (a plausible 316-byte header
// and its sectors) or a raw image (the sectors of one standard format and
// nothing else). Plain
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

inline constexpr std::array<StandardFormat, 10> standard_formats{{
    {163'840, 40, 1, 8, 10, "160 KB"},
    {184'320, 40, 1, 9, 9, "180 KB"},
    {327'680, 40, 2, 8, 7, "320 KB"},
    {368'640, 40, 2, 9, 6, "360 KB"},
    {737'280, 80, 2, 9, 5, "720 KB"},
    {1'228'800, 80, 2, 15, 1, "1.2 MB"},
    {1'474'560, 80, 2, 18, 2, "1.44 MB"},
    {1'720'320, 80, 2, 21, 0, "1.68 MB"},  // no media type number of its own
    {1'763'328, 82, 2, 21, 0, "1.72 MB"},  // nor this one
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

// True when a file's name makes it a raw image: it ends, in any case, with
// one of the endings raw floppy images go by.
inline bool raw_image_name(std::string_view name) {
  for (const std::string_view ending : {".img", ".ima", ".vfd", ".flp"}) {
    if (name.size() < ending.size()) continue;
    const std::string_view end = name.substr(name.size() - ending.size());
    bool same = true;
    for (std::size_t i = 0; i < end.size(); ++i)
      same = same && (end[i] == ending[i] || end[i] == ending[i] - 'a' + 'A');
    if (same) return true;
  }
  return false;
}

enum class ImageKind {
  tessil,   // a plausible 316-byte header, then at most the data it describes
  raw,      // exactly the size of a standard format
  neither,  // anything else: never taken for an image
};

inline constexpr uint64_t tessil_header_bytes = 316;

// The bytes of data that a header's geometry describes, or 0 when no disk
// has it: a field out of the engine's bounds, or bytes per sector that are
// not a power of two from 128 to 4096. Within these bounds the product
// cannot overflow. Header fields are anybody's: this is the one check.
constexpr uint64_t plausible_data_size(uint32_t cylinders, uint32_t heads,
                                       uint32_t sectors_per_track, uint32_t bytes_per_sector) {
  if (cylinders == 0 || heads == 0 || heads > 255 || sectors_per_track == 0 ||
      sectors_per_track > 255 || bytes_per_sector < 128 || bytes_per_sector > 4096 ||
      (bytes_per_sector & (bytes_per_sector - 1)) != 0)
    return 0;
  return uint64_t{cylinders} * heads * sectors_per_track * bytes_per_sector;
}

// What a file or device of `size` bytes is, given the data size its first
// bytes describe as a header (0: not a plausible one). A standard size is a
// raw image whatever its first bytes; a tessil image holds its header and
// at most the data it describes (fewer when cut short).
constexpr ImageKind image_kind_of(uint64_t size, uint64_t header_data_size) {
  if (standard_format_of(size)) return ImageKind::raw;
  if (header_data_size > 0 && size >= tessil_header_bytes &&
      size - tessil_header_bytes <= header_data_size)
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
