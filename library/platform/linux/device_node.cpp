#include "platform/linux/device_node.h"

#include <sys/file.h>

#include <cerrno>

#include "platform/linux/errno_map.h"
#include "platform/linux/udisks_hold.h"
#include "platform/linux/udisks_opener.h"

namespace tessil::platform::linux_os {

namespace {

bool denied(int code) {
  return code == EACCES || code == EPERM;
}

// Asks udisks2, or the command's hold of what it opened. The open flags go
// along (O_EXCL claims the device for this job as our own open does), all
// but O_CLOEXEC: the descriptor that reaches this process is made
// close-on-exec here.
UdisksOpen ask_udisks(const std::string& path, bool read_write, int flags, UdisksHold* hold) {
  flags &= ~O_CLOEXEC;
  return hold ? hold->open(read_write, flags) : open_through_udisks(path, read_write, flags);
}

// Why udisks2 did not open the drive, `own` being why we could not.
Error reason_of(const UdisksOpen& asked, int own) {
  switch (asked.answer) {
    case UdisksAnswer::failed:
      return error_from_errno(asked.errno_value);
    case UdisksAnswer::refused:
      return asked.system_action ? Error::not_authorised_system : Error::not_authorised;
    default:
      return error_from_errno(own);
  }
}

}  // namespace

UniqueFd open_node_to_read(const std::string& path, int flags, Error& error, UdisksHold* hold) {
  // What the command holds serves first: a second opening by ourselves
  // would meet its claim on the device.
  if (hold)
    if (UniqueFd lent = hold->lend(false, flags)) return lent;
  UniqueFd fd = open_fd(path.c_str(), O_RDONLY | flags);
  if (fd) return fd;
  error = error_from_errno(errno);
  if (!denied(errno)) return {};
  const int own = errno;
  UdisksOpen asked = ask_udisks(path, false, flags, hold);
  if (asked.fd) return std::move(asked.fd);
  error = reason_of(asked, own);
  return {};
}

UniqueFd open_node_for_job(const std::string& path, DriveAccess access, int flags, bool& read_only,
                           Error& error, UdisksHold* hold) {
  const bool write = access == DriveAccess::read_write;
  read_only = !write;
  if (hold)
    if (UniqueFd lent = hold->lend(write, flags)) return lent;
  read_only = false;
  UniqueFd fd = open_fd(path.c_str(), O_RDWR | flags);
  if (fd) return fd;
  if (errno == EROFS) {
    // A write-protected disk can still be imaged.
    read_only = true;
    fd = open_fd(path.c_str(), O_RDONLY | flags);
    if (!fd) error = error_from_errno(errno);
    return fd;
  }
  error = error_from_errno(errno);
  if (!denied(errno)) return {};
  const int own = errno;

  if (!write) {
    // Reading needs no more than the right to read.
    read_only = true;
    fd = open_fd(path.c_str(), O_RDONLY | flags);
    if (fd) return fd;
    error = error_from_errno(errno);
    if (!denied(errno)) return {};
  }
  UdisksOpen asked = ask_udisks(path, write, flags, hold);
  read_only = !write;
  if (write && asked.answer == UdisksAnswer::failed) {
    // The kernel refused udisks2 a read-write open, as it does a
    // write-protected disk: read-only, the job fails at its first write
    // just as it does without udisks2.
    UdisksOpen read = ask_udisks(path, false, flags, hold);
    if (read.fd) {
      asked = std::move(read);
      read_only = true;
    }
  }
  if (asked.fd) return std::move(asked.fd);
  if (write && asked.answer != UdisksAnswer::failed) {
    // A node this user may only read opens read-only, as it always did.
    read_only = true;
    fd = open_fd(path.c_str(), O_RDONLY | flags);
    if (fd) return fd;
  }
  error = reason_of(asked, own);
  return {};
}

std::optional<ClaimedNode> claim_node_for_job(const std::string& path, DriveAccess access,
                                              Error& error, UdisksHold* hold) {
  ClaimedNode node;
  if (::stat(path.c_str(), &node.info) != 0) {
    error = error_from_errno(errno);
    return std::nullopt;
  }
  node.block = S_ISBLK(node.info.st_mode);
  if (!node.block && !S_ISREG(node.info.st_mode)) {
    error = Error::other;
    return std::nullopt;
  }
  // O_EXCL without O_CREAT claims a block device: refused (EBUSY) while it is
  // mounted or another program holds it.
  node.fd = open_node_for_job(path, access, O_CLOEXEC | (node.block ? O_EXCL : 0), node.read_only,
                              error, hold);
  if (!node.fd) return std::nullopt;
  if (::fstat(node.fd.get(), &node.info) != 0 || S_ISBLK(node.info.st_mode) != node.block ||
      (!node.block && !S_ISREG(node.info.st_mode))) {
    error = Error::other;
    return std::nullopt;
  }
  if (!node.block && ::flock(node.fd.get(), LOCK_EX | LOCK_NB) != 0) {
    error = errno == EWOULDBLOCK ? Error::busy : error_from_errno(errno);
    return std::nullopt;
  }
  error = Error::none;
  return node;
}

}  // namespace tessil::platform::linux_os
