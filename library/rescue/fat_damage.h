// What lost sectors hit on a FAT12 or FAT16 volume: the boot sector, the
// FATs, the root directory, the files and directories whose data lie there,
// and what cannot be named because the structures that would name it are
// lost. The image file is read as it is, its header skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "rescue/fat_volume.h"

namespace tessil::rescue {

struct FatDamage {
  bool examined = false;  // a FAT12 or FAT16 volume was found and walked
  std::string type;       // "FAT12", "FAT16"
  std::string problem;    // why nothing was examined
  bool boot_sector = false;
  bool fat = false;
  bool root_directory = false;
  // Paths from the root, shown as fat::shown_name() shows names;
  // directories end in '/'.
  std::vector<std::string> files;
  // The first FAT is hit, and the files were followed through another copy.
  bool files_through_second_fat = false;
  // What cannot be named, and which lost structure it was on: "the entries
  // in root directory sector 19, which is lost".
  std::vector<std::string> not_named;
};

// `lost` tells the disk sectors that were not rescued (the image's data
// start at `offset` bytes into the file); `sector_size` is the disk's.
FatDamage fat_damage(const std::string& image_path, uint64_t offset, uint64_t sector_size,
                     const fat::LostSector& lost, platform::Platform& os = platform::current());

}  // namespace tessil::rescue
