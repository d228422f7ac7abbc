#include "disk_head.h"

#include "app/drive_facts.h"

#include <memory>
#include <string_view>

#include "geometry.h"
#include "platform/platform.h"

namespace tessil::cli {

namespace {

uint32_t little(std::span<const std::byte> bytes, std::size_t at, std::size_t width) {
  uint32_t value = 0;
  for (std::size_t i = width; i-- > 0;)
    value = (value << 8) | std::to_integer<uint32_t>(bytes[at + i]);
  return value;
}

// An 11-byte FAT name without its padding.
std::string trimmed_name(std::span<const std::byte> bytes, std::size_t at) {
  std::string name(reinterpret_cast<const char*>(bytes.data() + at), 11);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
  return name;
}

}  // namespace

std::optional<std::vector<std::byte>> read_disk_head(char letter, std::size_t length,
                                                     platform::Error* reason,
                                                     platform::DriveSession* session) {
  platform::Error error = platform::Error::none;
  const std::unique_ptr<platform::Drive> disk =
      app::open_drive(letter, platform::DriveAccess::read, error, session);
  if (reason) *reason = error;
  if (!disk) return std::nullopt;
  std::vector<std::byte> head(length);
  std::size_t got = 0;
  while (got < length) {
    const platform::ReadResult part = disk->read(std::span(head).subspan(got));
    got += part.count;
    if (part.count == 0 || part.failed() || part.end) break;
  }
  head.resize(got);
  return head;
}

std::optional<MediumIdentity> identify_medium(char letter, uint64_t size, platform::Error& reason,
                                              platform::DriveSession* session) {
  std::optional<std::vector<std::byte>> head =
      read_disk_head(letter, identity_length, &reason, session);
  // A disk whose start cannot be read is known by its size alone.
  if (!head) return std::nullopt;
  return MediumIdentity{size, std::move(*head)};
}

std::string fat_volume_label(std::span<const std::byte> head) {
  if (head.size() < 512) return "";
  const uint32_t sector_size = little(head, 11, 2);
  const uint32_t reserved = little(head, 14, 2);
  const uint32_t fats = little(head, 16, 1);
  const uint32_t root_entries = little(head, 17, 2);
  const uint32_t fat_sectors = little(head, 22, 2);
  const bool sane =
      (sector_size == 512 || sector_size == 1024 || sector_size == 2048 || sector_size == 4096) &&
      reserved >= 1 && (fats == 1 || fats == 2) && root_entries > 0 && fat_sectors > 0;
  if (!sane) return "";

  // DOS shows the root directory's label entry: a root directory without
  // one has no label, whatever a stale boot sector says.
  const uint64_t root = uint64_t{reserved + fats * fat_sectors} * sector_size;
  for (uint64_t entry = 0; entry < root_entries; ++entry) {
    const uint64_t at = root + entry * 32;
    if (at + 32 > head.size()) {
      // The root directory lies past what was read: the boot sector's copy
      // (extended boot record, signature 0x29) is all there is.
      if (std::to_integer<unsigned>(head[38]) != 0x29) return "";
      std::string label = trimmed_name(head, 43);
      return label == "NO NAME" ? "" : label;
    }
    const auto first = std::to_integer<unsigned>(head[at]);
    if (first == 0x00) break;
    const auto attributes = std::to_integer<unsigned>(head[at + 11]);
    if (first == 0xE5 || attributes == 0x0F) continue;  // deleted, long name part
    if (attributes & 0x08) return trimmed_name(head, at);
  }
  return "";
}

}  // namespace tessil::cli
