#include "rescue/fat_damage.h"

#include <tsk/libtsk.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <utility>

#include "platform/platform.h"

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

// The blocks of a file, in its order.
TSK_WALK_RET_ENUM on_address(TSK_FS_FILE*, TSK_OFF_T, TSK_DADDR_T address, char*, size_t,
                             TSK_FS_BLOCK_FLAG_ENUM, void* context) {
  static_cast<std::vector<uint64_t>*>(context)->push_back(address);
  return TSK_WALK_CONT;
}

std::vector<uint64_t> blocks_of(TSK_FS_INFO* fs, const char* path) {
  std::vector<uint64_t> blocks;
  const FileHandle file(tsk_fs_file_open(fs, nullptr, path));
  if (file) tsk_fs_file_walk(file.get(), TSK_FS_FILE_WALK_FLAG_AONLY, on_address, &blocks);
  tsk_error_reset();
  return blocks;
}

struct Volume {
  std::unique_ptr<TSK_IMG_INFO, CloseImage> image;
  std::unique_ptr<TSK_FS_INFO, CloseFs> fs;
};

Volume open_volume(const std::string& path, uint64_t offset, std::string& problem) {
  Volume volume;
  volume.image.reset(tsk_img_open_utf8_sing(path.c_str(), TSK_IMG_TYPE_RAW, 0));
  if (!volume.image) {
    problem = std::string("the image cannot be opened: ") + tsk_error_get();
    tsk_error_reset();
    return volume;
  }
  volume.fs.reset(
      tsk_fs_open_img(volume.image.get(), static_cast<TSK_OFF_T>(offset), TSK_FS_TYPE_FAT_DETECT));
  if (!volume.fs) {
    problem = "no FAT volume found (the boot sector may be one of the bad ones)";
    tsk_error_reset();
  } else if (volume.fs->ftype != TSK_FS_TYPE_FAT12 && volume.fs->ftype != TSK_FS_TYPE_FAT16) {
    problem = "the volume is neither FAT12 nor FAT16";
    volume.fs.reset();
  }
  return volume;
}

// A private copy of the image, removed with this.
class TemporaryCopy {
 public:
  ~TemporaryCopy() {
    if (!path_.empty()) std::filesystem::remove(path_);
  }
  // Copies `source` with `patches` (offset, bytes from that offset in the
  // source) applied; false when it could not.
  bool make(const std::string& source, const std::vector<std::pair<uint64_t, uint64_t>>& patches,
            uint64_t length) {
    std::ifstream in(source, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const auto& [to, from] : patches) {
      if (from + length > bytes.size() || to + length > bytes.size()) return false;
      bytes.replace(to, length, bytes, from, length);
    }
    platform::Platform& os = platform::current();
    const std::string name =
        os.temporary_name_beside((std::filesystem::temp_directory_path() / "tessil-fat").c_str());
    platform::Error error = platform::Error::none;
    const std::unique_ptr<platform::ImageFile> file =
        name.empty() ? nullptr
                     : os.open_image(name.c_str(), platform::ImageMode::create_new, error);
    if (!file) return false;
    path_ = name;
    return file->write(std::as_bytes(std::span(bytes))) == platform::Error::none &&
           file->finish() == platform::Error::none;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

FatDamage fat_damage(const std::string& image_path, uint64_t offset, uint64_t sector_size,
                     const std::vector<uint64_t>& bad) {
  FatDamage damage;
  const Volume volume = open_volume(image_path, offset, damage.problem);
  if (!volume.fs) return damage;
  TSK_FS_INFO* fs = volume.fs.get();
  damage.examined = true;
  damage.type = fs->ftype == TSK_FS_TYPE_FAT12 ? "FAT12" : "FAT16";

  const std::set<uint64_t> bad_set(bad.begin(), bad.end());
  const Walk walk{&bad_set, fs->block_size, sector_size, false};
  // The Sleuth Kit shows the reserved area and the FATs as files of their
  // own in the root.
  damage.boot_sector = hit(fs, "/$MBR", walk);
  const bool first_fat = hit(fs, "/$FAT1", walk);
  damage.fat = first_fat || hit(fs, "/$FAT2", walk);
  {
    const FileHandle root(tsk_fs_file_open_meta(fs, nullptr, fs->root_inum));
    tsk_error_reset();
    damage.root_directory = hit(root.get(), walk);
  }

  // The Sleuth Kit follows the first FAT only. Where a sector of it is lost
  // and the second FAT's sector in its place was read, the files are
  // followed through a copy of the image that has the second one's there.
  TemporaryCopy copy;
  Volume patched;
  if (first_fat) {
    const std::vector<uint64_t> fat1 = blocks_of(fs, "/$FAT1");
    const std::vector<uint64_t> fat2 = blocks_of(fs, "/$FAT2");
    std::vector<std::pair<uint64_t, uint64_t>> patches;
    const auto lost = [&](uint64_t block) {
      Walk one = walk;
      on_block(nullptr, 0, block, nullptr, 0, TSK_FS_BLOCK_FLAG_RAW, &one);
      return one.hit;
    };
    for (std::size_t i = 0; i < fat1.size() && fat1.size() == fat2.size(); ++i)
      if (lost(fat1[i]) && !lost(fat2[i]))
        patches.emplace_back(offset + fat1[i] * fs->block_size, offset + fat2[i] * fs->block_size);
    std::string ignored;
    if (!patches.empty() && copy.make(image_path, patches, fs->block_size))
      patched = open_volume(copy.path(), offset, ignored);
    damage.files_through_second_fat = patched.fs != nullptr;
  }

  TSK_FS_INFO* files = patched.fs ? patched.fs.get() : fs;
  Listing listing{walk, &damage.files};
  tsk_fs_dir_walk(files, files->root_inum,
                  static_cast<TSK_FS_DIR_WALK_FLAG_ENUM>(TSK_FS_DIR_WALK_FLAG_ALLOC |
                                                         TSK_FS_DIR_WALK_FLAG_RECURSE),
                  on_entry, &listing);
  tsk_error_reset();
  std::sort(damage.files.begin(), damage.files.end());
  return damage;
}

}  // namespace tessil::rescue
