#include "rescue/fat_damage.h"

#include <tsk/libtsk.h>

#include <algorithm>
#include <memory>
#include <set>

namespace tessil::rescue {

namespace {

struct CloseImage {
  void operator()(TSK_IMG_INFO* image) const { tsk_img_close(image); }
};
struct CloseFs {
  void operator()(TSK_FS_INFO* fs) const { tsk_fs_close(fs); }
};
struct CloseFile {
  void operator()(TSK_FS_FILE* file) const { tsk_fs_file_close(file); }
};
using FileHandle = std::unique_ptr<TSK_FS_FILE, CloseFile>;

struct Walk {
  const std::set<uint64_t>* bad = nullptr;
  uint64_t block_size = 0;
  uint64_t sector_size = 0;
  bool hit = false;
};

TSK_WALK_RET_ENUM on_block(TSK_FS_FILE*, TSK_OFF_T, TSK_DADDR_T address, char*, size_t,
                           TSK_FS_BLOCK_FLAG_ENUM flags, void* context) {
  auto& walk = *static_cast<Walk*>(context);
  if (flags & TSK_FS_BLOCK_FLAG_SPARSE) return TSK_WALK_CONT;
  const uint64_t first = address * walk.block_size / walk.sector_size;
  const uint64_t last = (address + 1) * walk.block_size / walk.sector_size;
  const auto it = walk.bad->lower_bound(first);
  if (it != walk.bad->end() && *it < last) {
    walk.hit = true;
    return TSK_WALK_STOP;
  }
  return TSK_WALK_CONT;
}

// True when one of the file's own blocks (not its slack) is bad.
bool hit(TSK_FS_FILE* file, Walk walk) {
  if (!file) return false;
  tsk_fs_file_walk(file, TSK_FS_FILE_WALK_FLAG_AONLY, on_block, &walk);
  tsk_error_reset();
  return walk.hit;
}

bool hit(TSK_FS_INFO* fs, const char* path, const Walk& walk) {
  const FileHandle file(tsk_fs_file_open(fs, nullptr, path));
  tsk_error_reset();
  return hit(file.get(), walk);
}

struct Listing {
  Walk walk;
  std::vector<std::string>* files = nullptr;
};

TSK_WALK_RET_ENUM on_entry(TSK_FS_FILE* file, const char* path, void* context) {
  auto& listing = *static_cast<Listing*>(context);
  if (!file->name || !file->meta) return TSK_WALK_CONT;
  const std::string name = file->name->name;
  // TSK's own entries for the volume's areas, and the links to directories.
  if (file->meta->type == TSK_FS_META_TYPE_VIRT || file->meta->type == TSK_FS_META_TYPE_VIRT_DIR ||
      name == "." || name == "..")
    return TSK_WALK_CONT;
  if (hit(file, listing.walk)) {
    std::string full = std::string(path) + name;
    if (file->meta->type == TSK_FS_META_TYPE_DIR) full += '/';
    listing.files->push_back(std::move(full));
  }
  return TSK_WALK_CONT;
}

}  // namespace

FatDamage fat_damage(const std::string& image_path, uint64_t offset, uint64_t sector_size,
                     const std::vector<uint64_t>& bad) {
  FatDamage damage;
  const std::unique_ptr<TSK_IMG_INFO, CloseImage> image(
      tsk_img_open_utf8_sing(image_path.c_str(), TSK_IMG_TYPE_RAW, 0));
  if (!image) {
    damage.problem = std::string("the image cannot be opened: ") + tsk_error_get();
    tsk_error_reset();
    return damage;
  }
  const std::unique_ptr<TSK_FS_INFO, CloseFs> fs(
      tsk_fs_open_img(image.get(), static_cast<TSK_OFF_T>(offset), TSK_FS_TYPE_FAT_DETECT));
  if (!fs) {
    damage.problem = "no FAT volume found (the boot sector may be one of the bad ones)";
    tsk_error_reset();
    return damage;
  }
  if (fs->ftype != TSK_FS_TYPE_FAT12 && fs->ftype != TSK_FS_TYPE_FAT16) {
    damage.problem = "the volume is neither FAT12 nor FAT16";
    return damage;
  }
  damage.examined = true;
  damage.type = fs->ftype == TSK_FS_TYPE_FAT12 ? "FAT12" : "FAT16";

  const std::set<uint64_t> bad_set(bad.begin(), bad.end());
  const Walk walk{&bad_set, fs->block_size, sector_size, false};
  // The Sleuth Kit shows the reserved area and the FATs as files of their
  // own in the root.
  damage.boot_sector = hit(fs.get(), "/$MBR", walk);
  damage.fat = hit(fs.get(), "/$FAT1", walk) || hit(fs.get(), "/$FAT2", walk);
  {
    const FileHandle root(tsk_fs_file_open_meta(fs.get(), nullptr, fs->root_inum));
    tsk_error_reset();
    damage.root_directory = hit(root.get(), walk);
  }
  Listing listing{walk, &damage.files};
  tsk_fs_dir_walk(fs.get(), fs->root_inum,
                  static_cast<TSK_FS_DIR_WALK_FLAG_ENUM>(TSK_FS_DIR_WALK_FLAG_ALLOC |
                                                         TSK_FS_DIR_WALK_FLAG_RECURSE),
                  on_entry, &listing);
  tsk_error_reset();
  std::sort(damage.files.begin(), damage.files.end());
  return damage;
}

}  // namespace tessil::rescue
