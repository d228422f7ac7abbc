#include "new_image.h"

#include "app/drive_facts.h"

#include <filesystem>

#include "geometry.h"

namespace tessil::cli {

std::optional<std::string> prepare_new_image(const std::string& path, char letter, bool force,
                                             NewImage& image) {
  namespace fs = std::filesystem;
  platform::Platform& os = platform::current();
  image = NewImage{path, {}, false};
  std::error_code error;
  const fs::file_status name = fs::symlink_status(path, error);
  // Whatever the name stands for, even a dangling link, is the user's.
  if (fs::exists(name) && !force) return path + " already exists; give --force to replace it";
  const fs::path folder = fs::path(path).parent_path();
  if (!folder.empty() && !fs::is_directory(folder, error))
    return "the folder " + folder.string() + " does not exist; make it first (mkdir -p " +
           folder.string() + ")";
  if (app::is_drive_file(letter, path))
    return path + " is the disk in drive " + std::string(1, letter) + " itself";
  const fs::file_status target = fs::status(path, error);
  if (fs::is_block_file(target)) {
    image.temporary = path;
    image.in_place = true;
    return std::nullopt;
  }
  // A rename would put the image in the place of a folder, a FIFO or a
  // device node; a link is replaced as a link, never followed.
  if (fs::exists(name) && !fs::is_symlink(name) && !fs::is_regular_file(name))
    return path + " is not a file; name a file for the image";
  image.temporary = os.temporary_name_beside(path.c_str());
  if (image.temporary.empty()) return "no temporary file can be made beside " + path;
  return std::nullopt;
}

platform::Error settle_new_image(const NewImage& image, bool keep, bool force) {
  if (image.in_place) return platform::Error::none;
  platform::Platform& os = platform::current();
  if (!keep) {
    os.remove_file(image.temporary.c_str());
    return platform::Error::none;
  }
  const platform::Error published = os.publish(image.temporary.c_str(), image.path.c_str(), force);
  if (published != platform::Error::none) os.remove_file(image.temporary.c_str());
  return published;
}

}  // namespace tessil::cli
