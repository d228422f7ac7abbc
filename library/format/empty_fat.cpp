#include "format/empty_fat.h"

#include <algorithm>
#include <array>
#include <span>

namespace tessil::format {
namespace {

constexpr uint32_t sector_bytes = standard_sector_size;
constexpr uint32_t directory_entry_bytes = 32;

// How DOS laid out a FAT12 volume on one geometry.
struct FatLayout {
  uint32_t cylinders;
  uint32_t heads;
  uint32_t sectors_per_track;
  uint32_t media;
  uint32_t sectors_per_cluster;
  uint32_t root_entries;
  uint32_t fat_sectors;  // 0: the fewest that cover every cluster

  constexpr uint32_t total_sectors() const { return cylinders * heads * sectors_per_track; }
  constexpr uint32_t root_sectors() const {
    return (root_entries * directory_entry_bytes + sector_bytes - 1) / sector_bytes;
  }
  // The boot sector, two FATs of `fats` sectors each and the root directory.
  constexpr uint32_t system_sectors(uint32_t fats) const { return 1 + 2 * fats + root_sectors(); }
  constexpr uint32_t clusters(uint32_t fats) const {
    return (total_sectors() - system_sectors(fats)) / sectors_per_cluster;
  }
  // A FAT of `fats` sectors holds an entry of 12 bits for each cluster and
  // for the two reserved entries before them.
  constexpr bool covered_by(uint32_t fats) const {
    return (clusters(fats) + 2) * 3 <= fats * sector_bytes * 2;
  }
  constexpr uint32_t fewest_fat_sectors() const {
    uint32_t fats = 1;
    while (!covered_by(fats)) ++fats;
    return fats;
  }
  constexpr uint32_t fats() const { return fat_sectors ? fat_sectors : fewest_fat_sectors(); }
};

// The 21-sector formats never had a DOS layout of their own; they take the
// 1.44 MB disk's, with a FAT grown to their clusters.
constexpr std::array<FatLayout, 10> layouts{{
    {40, 1, 8, 0xFE, 1, 64, 1},
    {40, 1, 9, 0xFC, 1, 64, 2},
    {40, 2, 8, 0xFF, 2, 112, 1},
    {40, 2, 9, 0xFD, 2, 112, 2},
    {80, 2, 9, 0xF9, 2, 112, 3},
    {80, 2, 15, 0xF9, 1, 224, 7},
    {80, 2, 18, 0xF0, 1, 224, 9},
    {80, 2, 21, 0xF0, 1, 224, 0},
    {82, 2, 21, 0xF0, 1, 224, 0},
    {80, 2, 36, 0xF0, 2, 240, 9},
}};

// The FAT sizes DOS chose cover every cluster, and FAT12 can number them.
static_assert(std::ranges::all_of(layouts, [](const FatLayout& l) {
  return l.covered_by(l.fats()) && l.clusters(l.fats()) < 4085;
}));

const FatLayout* layout_of(const StandardFormat& format) {
  for (const FatLayout& l : layouts)
    if (l.cylinders == format.cylinders && l.heads == format.heads &&
        l.sectors_per_track == format.sectors_per_track &&
        uint64_t{l.total_sectors()} * sector_bytes == format.size)
      return &l;
  return nullptr;
}

// Where a machine booted from the disk lands: it says the disk holds no
// system, waits for a key and asks the BIOS to boot again. The code runs at
// 0000:7C3E, so the message, right after it, is at 0000:7C61.
constexpr std::array<uint8_t, 35> boot_code{
    0xFA,              // cli
    0x31, 0xC0,        // xor ax, ax
    0x8E, 0xD8,        // mov ds, ax
    0x8E, 0xD0,        // mov ss, ax
    0xBC, 0x00, 0x7C,  // mov sp, 0x7C00
    0xFB,              // sti
    0xFC,              // cld: lodsb counts up
    0xBE, 0x61, 0x7C,  // mov si, message
    0xAC,              // next: lodsb
    0x84, 0xC0,        // test al, al
    0x74, 0x09,        // jz wait
    0xB4, 0x0E,        // mov ah, 0x0E
    0xBB, 0x07, 0x00,  // mov bx, 7
    0xCD, 0x10,        // int 0x10: print al
    0xEB, 0xF2,        // jmp next
    0x31, 0xC0,        // wait: xor ax, ax
    0xCD, 0x16,        // int 0x16: wait for a key
    0xCD, 0x19,        // int 0x19: boot again
};
constexpr std::size_t boot_code_at = 0x3E;
static_assert(boot_code_at + boot_code.size() == 0x61);
constexpr std::string_view boot_message =
    "\r\nThis is not a system disk.\r\nPut in a system disk and press a key.\r\n";

// The characters DOS keeps out of file names, and so out of labels.
constexpr std::string_view refused_characters = "\"*+,./:;<=>?[\\]|";

class Writer {
 public:
  explicit Writer(std::span<std::byte> bytes) : bytes_(bytes) {}
  void put8(std::size_t at, uint32_t value) { bytes_[at] = std::byte(value & 0xFF); }
  void put16(std::size_t at, uint32_t value) {
    put8(at, value);
    put8(at + 1, value >> 8);
  }
  void put32(std::size_t at, uint32_t value) {
    put16(at, value);
    put16(at + 2, value >> 16);
  }
  void text(std::size_t at, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) put8(at + i, static_cast<unsigned char>(text[i]));
  }

 private:
  std::span<std::byte> bytes_;
};

// The label as its 11-byte field holds it: upper case, padded with spaces.
std::string label_field(std::string_view label) {
  std::string field(11, ' ');
  for (std::size_t i = 0; i < label.size(); ++i)
    field[i] =
        label[i] >= 'a' && label[i] <= 'z' ? static_cast<char>(label[i] - 'a' + 'A') : label[i];
  return field;
}

void write_boot_sector(Writer& out, const FatLayout& l, const std::string& label, uint32_t serial) {
  out.text(0, "\xEB\x3C\x90");
  out.text(3, "TESSIL  ");
  out.put16(11, sector_bytes);
  out.put8(13, l.sectors_per_cluster);
  out.put16(14, 1);  // reserved sectors: the boot sector
  out.put8(16, 2);   // FATs
  out.put16(17, l.root_entries);
  out.put16(19, l.total_sectors());
  out.put8(21, l.media);
  out.put16(22, l.fats());
  out.put16(24, l.sectors_per_track);
  out.put16(26, l.heads);
  out.put8(36, 0x00);  // drive number: the first floppy drive
  out.put8(38, 0x29);  // the serial number, label and type follow
  out.put32(39, serial);
  out.text(43, label);
  out.text(54, "FAT12   ");
  for (std::size_t i = 0; i < boot_code.size(); ++i) out.put8(boot_code_at + i, boot_code[i]);
  out.text(boot_code_at + boot_code.size(), boot_message);
  out.put16(510, 0xAA55);
}

}  // namespace

std::optional<std::string> fat_label_problem(std::string_view label) {
  for (const char c : label) {
    if (c < ' ' || c > '~') return "a volume label holds only printable ASCII characters";
    if (refused_characters.find(c) != std::string_view::npos)
      return std::string("a volume label cannot hold the character '") + c + "'";
  }
  if (label.size() > 11) return "a volume label has at most 11 characters";
  // A leading space reads as no label at all to some systems.
  if (label.starts_with(' ')) return "a volume label cannot begin with a space";
  return std::nullopt;
}

std::vector<std::byte> empty_fat12(const StandardFormat& format, std::string_view label,
                                   const FatStamp& stamp) {
  const FatLayout* layout = layout_of(format);
  if (!layout || fat_label_problem(label)) return {};
  const FatLayout& l = *layout;
  std::vector<std::byte> bytes(std::size_t{l.system_sectors(l.fats())} * sector_bytes);
  Writer out(bytes);
  write_boot_sector(out, l, label.empty() ? "NO NAME    " : label_field(label), stamp.serial);
  for (uint32_t copy = 0; copy < 2; ++copy) {
    const std::size_t fat = (1 + copy * l.fats()) * sector_bytes;
    out.put8(fat, l.media);
    out.put16(fat + 1, 0xFFFF);
  }
  if (!label.empty()) {
    const std::size_t root = (1 + 2 * l.fats()) * sector_bytes;
    out.text(root, label_field(label));
    out.put8(root + 11, 0x08);  // the volume label's attribute
    out.put16(root + 22, stamp.time);
    out.put16(root + 24, stamp.date);
  }
  return bytes;
}

}  // namespace tessil::format
