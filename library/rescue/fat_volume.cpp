#include "rescue/fat_volume.h"

#include <algorithm>
#include <cstdio>

namespace tessil::rescue::fat {

namespace {

uint64_t le16(std::span<const std::byte> b, std::size_t at) {
  return uint64_t(b[at]) | uint64_t(b[at + 1]) << 8;
}

uint64_t le32(std::span<const std::byte> b, std::size_t at) {
  return le16(b, at) | le16(b, at + 2) << 16;
}

bool power_of_two(uint64_t n) {
  return n != 0 && (n & (n - 1)) == 0;
}

void escape(std::string& out, uint32_t code) {
  char text[12];
  std::snprintf(text, sizeof text, code < 0x100 ? "\\x%02x" : "\\u%04x", code);
  out += text;
}

// Shows a blank at either end as an escape; `text` holds no other escapes'
// blanks.
std::string blank_ends(std::string text) {
  std::size_t lead = 0;
  while (lead < text.size() && text[lead] == ' ') ++lead;
  std::size_t trail = 0;
  while (trail < text.size() - lead && text[text.size() - 1 - trail] == ' ') ++trail;
  std::string out;
  for (std::size_t i = 0; i < lead; ++i) out += "\\x20";
  out += text.substr(lead, text.size() - lead - trail);
  for (std::size_t i = 0; i < trail; ++i) out += "\\x20";
  return out;
}

bool plain(uint32_t code) {
  return code >= 0x20 && code != 0x7F && !(code >= 0x80 && code < 0xA0) && code != '/' &&
         code != '\\';
}

void append_utf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code >> 18);
    out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The 8.3 name of an entry: its base and extension without their padding.
std::string short_name(std::span<const std::byte> entry) {
  std::string base(reinterpret_cast<const char*>(entry.data()), 8);
  std::string extension(reinterpret_cast<const char*>(entry.data()) + 8, 3);
  // A name whose first byte is 0xE5 stores it as 0x05.
  if (base[0] == '\x05') base[0] = '\xE5';
  // Windows marks names typed in lower case.
  const auto flags = static_cast<unsigned>(entry[12]);
  const auto lower = [](std::string& part) {
    for (char& c : part)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  };
  if (flags & 0x08) lower(base);
  if (flags & 0x10) lower(extension);
  const auto unpadded = [](const std::string& part) {
    return part.substr(0, part.find_last_not_of(' ') + 1);
  };
  extension = unpadded(extension);
  // A name of blanks alone is shown as it is.
  if (!unpadded(base).empty()) base = unpadded(base);
  return extension.empty() ? base : base + "." + extension;
}

uint8_t short_checksum(std::span<const std::byte> entry) {
  uint8_t sum = 0;
  for (std::size_t i = 0; i < 11; ++i)
    sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + static_cast<uint8_t>(entry[i]));
  return sum;
}

}  // namespace

std::optional<Layout> read_layout(std::span<const std::byte> boot, uint64_t sector_size,
                                  uint64_t disk_sectors, std::string& problem) {
  Layout l;
  l.sector_size = le16(boot, 11);
  l.sectors_per_cluster = uint64_t(boot[13]);
  l.reserved = le16(boot, 14);
  l.fat_count = uint64_t(boot[16]);
  l.root_entries = le16(boot, 17);
  l.fat_sectors = le16(boot, 22);
  const uint64_t total = le16(boot, 19) != 0 ? le16(boot, 19) : le32(boot, 32);
  const auto media = static_cast<unsigned>(boot[21]);
  if (boot.size() < 512 || l.sector_size != sector_size || !power_of_two(l.sectors_per_cluster) ||
      l.sectors_per_cluster > 128 || l.reserved == 0 || l.fat_count == 0 || l.fat_count > 4 ||
      media < 0xF0 || total == 0) {
    problem = "no FAT volume found";
    return std::nullopt;
  }
  // The volume as far as the disk holds it.
  const uint64_t sectors = std::min(total, disk_sectors);
  if (l.fat_sectors == 0 || l.root_entries == 0 || l.data_start() >= sectors) {
    problem = "the volume is neither FAT12 nor FAT16";
    return std::nullopt;
  }
  l.clusters = (sectors - l.data_start()) / l.sectors_per_cluster;
  if (l.clusters >= 65525) {
    problem = "the volume is neither FAT12 nor FAT16";
    return std::nullopt;
  }
  l.fat16 = l.clusters >= 4085;
  // No more clusters than the FAT has entries for.
  const uint64_t entries = l.fat_sectors * l.sector_size * 8 / (l.fat16 ? 16 : 12);
  l.clusters = std::min(l.clusters, entries > 2 ? entries - 2 : 0);
  return l;
}

bool Sectors::read(uint64_t sector, std::span<std::byte> into) const {
  const uint64_t at = sector * into.size();
  if (at + into.size() > size_) return false;
  return file_->read_at(offset_ + at, into).count == into.size();
}

Table::Table(const Layout& layout, const Sectors& sectors, const LostSector& lost)
    : layout_(layout) {
  const uint64_t size = layout.sector_size;
  const uint64_t bytes =
      layout.fat16 ? (layout.clusters + 2) * 2 : ((layout.clusters + 2) * 3 + 1) / 2;
  const uint64_t count = std::min(layout.fat_sectors, (bytes + size - 1) / size);
  bytes_.resize(count * size);
  lost_.resize(count);
  for (uint64_t i = 0; i < count; ++i) {
    const std::span<std::byte> into = std::span(bytes_).subspan(i * size, size);
    bool found = false;
    for (uint64_t copy = 0; copy < layout.fat_count && !found; ++copy) {
      const uint64_t sector = layout.fat_start(copy) + i;
      found = !lost(sector) && sectors.read(sector, into);
      if (found && copy > 0) through_other_copy_ = true;
    }
    lost_[i] = !found;
  }
}

Table::Link Table::next(uint64_t cluster, uint64_t& following) const {
  uint64_t value = 0;
  if (layout_.fat16) {
    const uint64_t at = cluster * 2;
    if (lost_byte(at)) return Link::lost;
    value = le16(bytes_, at);
  } else {
    const uint64_t at = cluster * 3 / 2;
    if (lost_byte(at) || lost_byte(at + 1)) return Link::lost;
    value = le16(bytes_, at);
    value = cluster % 2 ? value >> 4 : value & 0xFFF;
  }
  // An end, a bad cluster, a free one or nonsense all end the chain.
  if (!layout_.is_cluster(value)) return Link::end;
  following = value;
  return Link::next;
}

bool DirectoryReader::sector(std::span<const std::byte> bytes, std::vector<Entry>& out) {
  for (std::size_t at = 0; at + 32 <= bytes.size(); at += 32) {
    const std::span<const std::byte> entry = bytes.subspan(at, 32);
    const auto first = static_cast<uint8_t>(entry[0]);
    const auto attributes = static_cast<uint8_t>(entry[11]);
    if (first == 0x00) return false;
    if (first == 0xE5) {
      parts_.clear();
      continue;
    }
    if ((attributes & 0x3F) == 0x0F) {
      long_part(entry);
      continue;
    }
    const bool whole_long = !parts_.empty() && expected_ == 0 && checksum_ == short_checksum(entry);
    std::u16string long_name;
    if (whole_long)
      for (auto part = parts_.rbegin(); part != parts_.rend(); ++part) long_name += *part;
    parts_.clear();
    const std::string name = short_name(entry);
    // The volume's label, and a directory's links to itself and its parent.
    if ((attributes & 0x18) == 0x08 || name == "." || name == "..") continue;
    out.push_back({long_name.empty() ? shown_name(name) : shown_name(long_name),
                   (attributes & 0x10) != 0, le16(entry, 26), le32(entry, 28)});
  }
  return true;
}

void DirectoryReader::long_part(std::span<const std::byte> entry) {
  const auto order = static_cast<uint8_t>(entry[0]);
  const int number = order & 0x1F;
  if (order & 0x40) {
    parts_.clear();
    expected_ = number;
    checksum_ = static_cast<uint8_t>(entry[13]);
  }
  // A piece out of order or of another name spoils the long name.
  if (number == 0 || number != expected_ || static_cast<uint8_t>(entry[13]) != checksum_) {
    parts_.clear();
    expected_ = -1;
    return;
  }
  std::u16string part;
  for (const std::size_t at : {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30}) {
    const auto unit = static_cast<char16_t>(le16(entry, at));
    if (unit == 0) break;
    part += unit;
  }
  parts_.push_back(std::move(part));
  --expected_;
}

std::string shown_name(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto code = static_cast<uint8_t>(c);
    if (code < 0x80 && plain(code))
      out += c;
    else
      escape(out, code);
  }
  return blank_ends(out);
}

std::string shown_name(std::u16string_view units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    uint32_t code = units[i];
    const bool high = code >= 0xD800 && code < 0xDC00;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000)
      code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
    else if (code >= 0xD800 && code < 0xE000)
      code = 0xFFFFFFFF;  // half a pair
    if (code != 0xFFFFFFFF && plain(code))
      append_utf8(out, code);
    else
      escape(out, code == 0xFFFFFFFF ? units[i] : code);
  }
  return blank_ends(out);
}

}  // namespace tessil::rescue::fat
