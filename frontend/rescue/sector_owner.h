// What one sector of a rescued image belongs to on a FAT volume: the boot
// sector, a FAT, the root directory, or a file or directory by its path.
// Asked of the image as it is now, while the rescue fills it in.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

// "File: DOCS/REPORT.TXT", "FAT", "Free space"...; empty when the image
// holds no FAT volume that can be read yet. `offset`: where the disk's
// first byte lies in the image.
QString sectorOwner(const std::string& image, uint64_t offset, uint64_t sector_size,
                    uint64_t sector);
