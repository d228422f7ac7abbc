// A FAT12 or FAT16 volume as a rescued image holds it, read without trust:
// its layout from the boot sector, its FAT from whichever copy of each
// sector was rescued, and its directory entries as they are, corrupted
// names included. Sectors that were not rescued hold only fill, so they
// are never read but for the boot sector, whose fill gives no volume.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/handles.h"

namespace tessil::rescue::fat {

// True for a disk sector that was not rescued.
using LostSector = std::function<bool(uint64_t sector)>;

struct Layout {
  bool fat16 = false;
  uint64_t sector_size = 512;
  uint64_t sectors_per_cluster = 1;
  uint64_t reserved = 1;  // the boot sector and what follows it
  uint64_t fat_count = 2;
  uint64_t fat_sectors = 9;
  uint64_t root_entries = 224;
  uint64_t clusters = 0;  // numbered from 2

  uint64_t fat_start(uint64_t copy) const { return reserved + copy * fat_sectors; }
  uint64_t root_start() const { return fat_start(fat_count); }
  uint64_t root_sectors() const { return (root_entries * 32 + sector_size - 1) / sector_size; }
  uint64_t data_start() const { return root_start() + root_sectors(); }
  uint64_t first_sector(uint64_t cluster) const {
    return data_start() + (cluster - 2) * sectors_per_cluster;
  }
  bool is_cluster(uint64_t value) const { return value >= 2 && value < clusters + 2; }
};

// The layout a boot sector gives, for a disk of `disk_sectors` sectors of
// `sector_size`; nothing, with `problem`, when it gives no FAT12 or FAT16
// volume.
std::optional<Layout> read_layout(std::span<const std::byte> boot, uint64_t sector_size,
                                  uint64_t disk_sectors, std::string& problem);

// The disk's sectors in an image file whose data start at `offset`.
class Sectors {
 public:
  Sectors(std::unique_ptr<platform::ImageFile> file, uint64_t offset, uint64_t size)
      : file_(std::move(file)), offset_(offset), size_(size) {}
  bool read(uint64_t sector, std::span<std::byte> into) const;

 private:
  std::unique_ptr<platform::ImageFile> file_;
  uint64_t offset_;
  uint64_t size_;
};

// The FAT, each of its sectors from the first copy that was rescued.
class Table {
 public:
  Table(const Layout& layout, const Sectors& sectors, const LostSector& lost);

  // What follows a cluster in its chain.
  enum class Link { next, end, lost };
  Link next(uint64_t cluster, uint64_t& following) const;
  // Sector `index` of the FAT was lost in every copy.
  bool lost_sector(uint64_t index) const { return index >= lost_.size() || lost_[index]; }
  // Some sector was read from a copy other than the first.
  bool through_other_copy() const { return through_other_copy_; }

 private:
  bool lost_byte(uint64_t offset) const { return lost_sector(offset / layout_.sector_size); }

  const Layout& layout_;
  std::vector<std::byte> bytes_;
  std::vector<bool> lost_;  // by sector of the FAT, in every copy
  bool through_other_copy_ = false;
};

struct Entry {
  std::string name;  // as shown_name() gives it
  bool directory = false;
  uint64_t first_cluster = 0;
  uint64_t size = 0;
};

// The entries of a directory, one sector after another, long names
// included.
class DirectoryReader {
 public:
  // Adds the entries of one sector to `out`; false once the directory's
  // end marker came.
  bool sector(std::span<const std::byte> bytes, std::vector<Entry>& out);
  // A sector of the directory was lost: no long name spans it.
  void lost() { parts_.clear(); }

 private:
  void long_part(std::span<const std::byte> entry);
  std::vector<std::u16string> parts_;  // the long name's pieces, last first
  int expected_ = 0;                   // the number of the piece to come
  uint8_t checksum_ = 0;
};

// A name's bytes as text that shows each of them: what is not printable,
// the path separators and the escape character itself as "\xNN", and a
// blank at either end too, so that a corrupted name is told apart.
std::string shown_name(std::string_view bytes);
std::string shown_name(std::u16string_view units);

}  // namespace tessil::rescue::fat
