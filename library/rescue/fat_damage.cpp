#include "rescue/fat_damage.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "platform/error_words.h"
#include "platform/platform.h"

namespace tessil::rescue {

namespace {

using fat::Entry;
using fat::Layout;

// Directories within directories deeper than this are not walked.
constexpr int max_depth = 64;

std::string range_text(uint64_t first, uint64_t last) {
  return first == last ? std::to_string(first)
                       : std::to_string(first) + " to " + std::to_string(last);
}

// "sector 19", "sectors 19 and 20", "sectors 19, 20, ... and 8 more".
std::string sector_list(const std::vector<uint64_t>& sectors) {
  constexpr std::size_t named = 6;
  std::string text = sectors.size() == 1 ? "sector " : "sectors ";
  for (std::size_t i = 0; i < sectors.size() && i < named; ++i) {
    if (i > 0) text += i + 1 == sectors.size() ? " and " : ", ";
    text += std::to_string(sectors[i]);
  }
  if (sectors.size() > named) text += " and " + std::to_string(sectors.size() - named) + " more";
  return text;
}

// Every file and directory from the root down. What the walk costs is
// bounded by the volume's clusters, however the FAT's chains loop or cross.
class Walker {
 public:
  Walker(const Layout& layout, const fat::Sectors& sectors, const fat::Table& table,
         const fat::LostSector& lost, FatDamage& damage)
      : layout_(layout),
        sectors_(sectors),
        table_(table),
        lost_(lost),
        damage_(damage),
        budget_(4 * (layout.clusters + 2) + 1024),
        visited_(layout.clusters + 2) {}

  void run() {
    std::vector<Directory> todo{{"", 0, 0}};
    while (!todo.empty() && !exhausted_) {
      const Directory dir = std::move(todo.back());
      todo.pop_back();
      std::vector<uint64_t> missing;
      for (const Entry& entry : entries(dir, missing)) {
        const std::string path = dir.path + entry.name + (entry.directory ? "/" : "");
        if (data_hit(entry)) damage_.files.push_back(path);
        if (entry.directory && dir.depth < max_depth && layout_.is_cluster(entry.first_cluster) &&
            !visited_[entry.first_cluster])
          todo.push_back({path, entry.first_cluster, dir.depth + 1});
      }
      if (!missing.empty())
        damage_.not_named.push_back("the entries in " +
                                    (dir.cluster == 0 ? "root directory " + sector_list(missing)
                                                      : sector_list(missing) + " of " + dir.path) +
                                    (missing.size() == 1 ? ", which is lost" : ", which are lost"));
    }
    if (exhausted_)
      damage_.not_named.push_back(
          "the files not followed: the FAT's chains loop or cross too much to follow them all");
  }

 private:
  struct Directory {
    std::string path;  // ends in '/', empty for the root
    uint64_t cluster;  // 0 for the root
    int depth;
  };

  bool step() {
    if (budget_ == 0) exhausted_ = true;
    if (exhausted_) return false;
    --budget_;
    return true;
  }

  // The entries of `dir`; its sectors that are lost go to `missing`.
  std::vector<Entry> entries(const Directory& dir, std::vector<uint64_t>& missing) {
    fat::DirectoryReader reader;
    std::vector<Entry> out;
    std::vector<std::byte> buffer(layout_.sector_size);
    // False at the directory's end.
    const auto take = [&](uint64_t sector) {
      if (lost_(sector)) {
        missing.push_back(sector);
        reader.lost();
        return true;
      }
      return sectors_.read(sector, buffer) && reader.sector(buffer, out);
    };
    if (dir.cluster == 0) {
      for (uint64_t sector = layout_.root_start(); sector < layout_.data_start(); ++sector)
        if (!take(sector)) break;
      return out;
    }
    for (uint64_t cluster = dir.cluster; !visited_[cluster] && step();) {
      visited_[cluster] = true;
      bool more = true;
      for (uint64_t i = 0; i < layout_.sectors_per_cluster && more; ++i)
        more = take(layout_.first_sector(cluster) + i);
      if (!more || table_.next(cluster, cluster) != fat::Table::Link::next) break;
    }
    return out;
  }

  // True when a sector of the entry's own data is lost, as far as its chain
  // can be followed; the sectors of a file's last cluster past its size are
  // not its data.
  bool data_hit(const Entry& entry) {
    if (!layout_.is_cluster(entry.first_cluster)) return false;
    const uint64_t per_cluster = layout_.sectors_per_cluster;
    uint64_t left = entry.directory ? layout_.clusters * per_cluster
                                    : (entry.size + layout_.sector_size - 1) / layout_.sector_size;
    for (uint64_t cluster = entry.first_cluster; left > 0 && step();) {
      const uint64_t first = layout_.first_sector(cluster);
      const uint64_t count = std::min(per_cluster, left);
      for (uint64_t i = 0; i < count; ++i)
        if (lost_(first + i)) return true;
      left -= count;
      if (left == 0 || table_.next(cluster, cluster) != fat::Table::Link::next) return false;
    }
    return false;
  }

  const Layout& layout_;
  const fat::Sectors& sectors_;
  const fat::Table& table_;
  const fat::LostSector& lost_;
  FatDamage& damage_;
  uint64_t budget_;  // steps along chains left
  bool exhausted_ = false;
  std::vector<bool> visited_;  // directory clusters read
};

bool any_lost(const fat::LostSector& lost, uint64_t first, uint64_t end) {
  for (uint64_t sector = first; sector < end; ++sector)
    if (lost(sector)) return true;
  return false;
}

// The clusters whose links were lost with every copy of their part of the
// FAT: the files on them cannot be followed, and so not named.
void lost_chains(const Layout& layout, const fat::Table& table, FatDamage& damage) {
  std::vector<std::pair<uint64_t, uint64_t>> runs;
  for (uint64_t cluster = 2; cluster < layout.clusters + 2; ++cluster) {
    uint64_t ignored = 0;
    if (table.next(cluster, ignored) != fat::Table::Link::lost) continue;
    if (!runs.empty() && runs.back().second + 1 == cluster)
      runs.back().second = cluster;
    else
      runs.emplace_back(cluster, cluster);
  }
  for (const auto& [first, last] : runs) {
    // The lost sectors among those that the run's links lie on; a FAT12
    // link may straddle two.
    const uint64_t bits = layout.fat16 ? 16 : 12;
    uint64_t from = first * bits / 8 / layout.sector_size;
    uint64_t to = ((last + 1) * bits - 1) / 8 / layout.sector_size;
    if (!table.lost_sector(from)) ++from;
    if (!table.lost_sector(to)) --to;
    std::string sectors;
    for (uint64_t copy = 0; copy < layout.fat_count; ++copy)
      sectors += (copy == 0                      ? ""
                  : copy + 1 == layout.fat_count ? " and "
                                                 : ", ") +
                 range_text(layout.fat_start(copy) + from, layout.fat_start(copy) + to);
    damage.not_named.push_back("the files on clusters " + range_text(first, last) +
                               ", whose links were lost with every copy of that part of the "
                               "FAT (sectors " +
                               sectors + ")");
  }
}

}  // namespace

FatDamage fat_damage(const std::string& image_path, uint64_t offset, uint64_t sector_size,
                     const fat::LostSector& lost, platform::Platform& os) {
  FatDamage damage;
  platform::Error error = platform::Error::none;
  std::unique_ptr<platform::ImageFile> file =
      os.open_image(image_path.c_str(), platform::ImageMode::read, error);
  if (!file) {
    damage.problem = "the image cannot be read: " + std::string(platform::error_words(error));
    return damage;
  }
  const uint64_t size = file->size().value_or(0);
  const fat::Sectors sectors(std::move(file), offset, size > offset ? size - offset : 0);
  std::vector<std::byte> boot(sector_size);
  if (sector_size < 512 || !sectors.read(0, boot)) {
    damage.problem =
        lost(0) ? "the boot sector is lost, so no file can be named" : "no FAT volume found";
    return damage;
  }
  const std::optional<Layout> layout = fat::read_layout(
      boot, sector_size, (size > offset ? size - offset : 0) / sector_size, damage.problem);
  // A lost boot sector holds fill, which gives no volume.
  if (!layout && lost(0)) damage.problem = "the boot sector is lost, so no file can be named";
  if (!layout) return damage;
  damage.examined = true;
  damage.type = layout->fat16 ? "FAT16" : "FAT12";
  damage.boot_sector = any_lost(lost, 0, layout->reserved);
  damage.fat = any_lost(lost, layout->reserved, layout->root_start());
  damage.root_directory = any_lost(lost, layout->root_start(), layout->data_start());

  const fat::Table table(*layout, sectors, lost);
  damage.files_through_second_fat = table.through_other_copy();
  Walker(*layout, sectors, table, lost, damage).run();
  std::sort(damage.files.begin(), damage.files.end());
  lost_chains(*layout, table, damage);
  return damage;
}

}  // namespace tessil::rescue
