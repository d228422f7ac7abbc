// The first sectors of the disk in a drive: enough to tell one disk from
// another without reading it all, and to find its FAT volume label.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessil::cli {

// Up to `length` bytes from the start of the disk in drive `letter`, read
// through a job's own opening of the drive. Nothing when it cannot be
// opened, with the reason in `reason`; fewer bytes when the disk is smaller
// or fails early.
std::optional<std::vector<std::byte>> read_disk_head(char letter, std::size_t length,
                                                     platform::Error* reason = nullptr,
                                                     platform::DriveSession* session = nullptr);

// What tells one disk from another: its size and its first sectors, where
// the boot sector's volume serial and the start of the FAT lie.
struct MediumIdentity {
  uint64_t size = 0;
  std::vector<std::byte> head;

  bool operator==(const MediumIdentity&) const = default;
};

inline constexpr std::size_t identity_length = 4096;

// The disk in drive `letter`, whose size is `size`; nothing, with the
// reason, when the drive cannot be opened (a desktop mounted the disk).
std::optional<MediumIdentity> identify_medium(char letter, uint64_t size, platform::Error& reason,
                                              platform::DriveSession* session = nullptr);

// How much of a disk's start holds the volume label of any floppy format.
inline constexpr std::size_t label_head_length = 32 * 1024;

// The volume label of a FAT volume starting with `head`: its root
// directory's label entry, else the boot sector's; empty when there is
// none (or "NO NAME") or `head` is not a FAT volume.
std::string fat_volume_label(std::span<const std::byte> head);

}  // namespace tessil::cli
