// Files that commands make beside an image: temporary names nobody can
// guess, published by a rename once whole, compared by identity, and a log
// that several programs append to.
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/linux/device_overlap.h"
#include "platform/linux/errno_map.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

namespace {

Error write_all(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t n = ::write(fd, content.data(), content.size());
    if (n > 0) {
      content.remove_prefix(static_cast<std::size_t>(n));
    } else if (n == 0) {
      return Error::io;
    } else if (errno != EINTR) {
      return error_from_errno(errno);
    }
  }
  return Error::none;
}

Error sync_fd(int fd) {
  while (::fsync(fd) != 0)
    if (errno != EINTR) return error_from_errno(errno);
  return Error::none;
}

std::filesystem::path folder_of(const char* path) {
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  return parent.empty() ? "." : parent;
}

// Twelve characters from the kernel's random source: 62^12 names.
std::string random_part() {
  static constexpr char alphabet[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char bytes[12] = {};
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n > 0)
      got += static_cast<std::size_t>(n);
    else if (errno != EINTR)
      return {};
  }
  std::string text;
  for (const unsigned char byte : bytes) text += alphabet[byte % (sizeof alphabet - 1)];
  return text;
}

// Renames without replacing: where the file system cannot, a hard link
// claims the name (it fails on an existing one) and the old name goes.
int rename_no_replace(const char* from, const char* to) {
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  if (::link(from, to) != 0) return -1;
  ::unlink(from);
  return 0;
}

}  // namespace

std::string LinuxPlatform::temporary_name_beside(const char* path) {
  if (!path || !*path) return {};
  const std::string name = std::filesystem::path(path).filename().string();
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string random = random_part();
    if (random.empty()) return {};
    const std::filesystem::path candidate = folder_of(path) / ("." + name + "." + random + ".tmp");
    struct stat info {};
    if (::lstat(candidate.c_str(), &info) != 0 && errno == ENOENT) return candidate.string();
  }
  return {};
}

// A new file under a temporary name, made durable, then renamed over the
// old one: the rename is the one step, and the folder's sync makes it last.
Error LinuxPlatform::replace_file(const char* path, std::string_view content, bool replace) {
  if (!path || !*path) return Error::not_found;
  const std::string temporary = temporary_name_beside(path);
  if (temporary.empty()) return Error::other;
  Error error = Error::none;
  {
    UniqueFd fd = open_fd(temporary.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    if (!fd) return error_from_errno(errno);
    error = write_all(fd.get(), content);
    if (error == Error::none) error = sync_fd(fd.get());
    if (error == Error::none && ::close(fd.release()) != 0 && errno != EINTR)
      error = error_from_errno(errno);
  }
  if (error == Error::none) error = publish(temporary.c_str(), path, replace);
  if (error != Error::none) ::unlink(temporary.c_str());
  return error;
}

Error LinuxPlatform::publish(const char* from, const char* to, bool replace) {
  if (!from || !to || !*from || !*to) return Error::not_found;
  const int moved = replace ? ::rename(from, to) : rename_no_replace(from, to);
  if (moved != 0) return error_from_errno(errno);
  sync_folder_of(to);
  return Error::none;
}

Error LinuxPlatform::sync_folder_of(const char* path) {
  if (!path || !*path) return Error::not_found;
  const UniqueFd directory = open_fd(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return directory ? sync_fd(directory.get()) : error_from_errno(errno);
}

Error LinuxPlatform::remove_file(const char* path) {
  if (!path || ::unlink(path) != 0) return error_from_errno(path ? errno : ENOENT);
  sync_folder_of(path);
  return Error::none;
}

std::optional<FileIdentity> LinuxPlatform::identity_of(const char* path) {
  struct stat info {};
  if (!path || ::stat(path, &info) != 0) return std::nullopt;
  // A device is itself wherever its node lies.
  if (S_ISBLK(info.st_mode) || S_ISCHR(info.st_mode))
    return FileIdentity{static_cast<uint64_t>(info.st_rdev), 0};
  return FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

Error LinuxPlatform::append_line(const char* path, std::string_view heading,
                                 std::string_view line) {
  if (!path || !*path) return Error::not_found;
  constexpr int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  // A log removed or replaced by another writer while this one waited for
  // the lock is opened again.
  for (int attempt = 0; attempt < 16; ++attempt) {
    bool made = true;
    UniqueFd fd = open_fd(path, flags | O_CREAT | O_EXCL, 0666);
    if (!fd && errno == EEXIST) {
      made = false;
      fd = open_fd(path, flags);
      if (!fd && errno == ENOENT) continue;
    }
    if (!fd) return error_from_errno(errno);
    while (::flock(fd.get(), LOCK_EX) != 0)
      if (errno != EINTR) return error_from_errno(errno);
    struct stat held {
    }, named{};
    if (::fstat(fd.get(), &held) != 0) return error_from_errno(errno);
    if (!S_ISREG(held.st_mode)) return Error::other;
    if (::lstat(path, &named) != 0 || named.st_dev != held.st_dev || named.st_ino != held.st_ino)
      continue;
    const bool empty = held.st_size == 0;
    Error error = write_all(fd.get(), empty ? std::string(heading).append(line) : line);
    if (error == Error::none) error = sync_fd(fd.get());
    if (error == Error::none) {
      if (made) sync_folder_of(path);
      return Error::none;
    }
    // No half line is left for the next writer to append to, nor an empty
    // log this call made.
    if (made && empty)
      ::unlink(path);
    else
      (void)::ftruncate(fd.get(), held.st_size);
    return error;
  }
  return Error::other;
}

bool LinuxPlatform::backs_a_device(const char* path) {
  struct stat info {};
  return path && ::stat(path, &info) == 0 && S_ISREG(info.st_mode) &&
         backs_loop_device(info.st_dev, info.st_ino);
}

}  // namespace tessil::platform::linux_os
