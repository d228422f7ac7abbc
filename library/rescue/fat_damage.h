// What bad sectors hit on a FAT12 or FAT16 volume: the boot sector, the
// FATs, the root directory, and the files and directories whose data lie
// there. The Sleuth Kit reads the volume; the image file is read as it is,
// its header skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessil::rescue {

struct FatDamage {
  bool examined = false;  // a FAT12 or FAT16 volume was found and walked
  std::string type;       // "FAT12", "FAT16"
  std::string problem;    // why nothing was examined
  bool boot_sector = false;
  bool fat = false;
  bool root_directory = false;
  std::vector<std::string> files;  // paths from the root; directories end in '/'
  // The first FAT is hit, and the files were followed through the second.
  bool files_through_second_fat = false;
};

// `bad` holds disk sector numbers (the image's data starts at `offset` bytes
// into the file); `sector_size` is the disk's.
FatDamage fat_damage(const std::string& image_path, uint64_t offset, uint64_t sector_size,
                     const std::vector<uint64_t>& bad);

}  // namespace tessil::rescue
