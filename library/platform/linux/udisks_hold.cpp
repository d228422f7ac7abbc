#include "platform/linux/udisks_hold.h"

#include <sys/stat.h>

#include <cerrno>

namespace tessil::platform::linux_os {

namespace {

UdisksOpen opened(UniqueFd fd) {
  UdisksOpen result;
  if (!fd) {
    result.why = "no copy of the held descriptor";
    return result;
  }
  result.answer = UdisksAnswer::opened;
  result.fd = std::move(fd);
  result.errno_value = 0;
  return result;
}

}  // namespace

UniqueFd UdisksHold::lend(bool read_write, int flags) const {
  if (!held_ || (read_write && !held_->read_write) || ((flags & O_EXCL) && !held_->exclusive))
    return {};
  return UniqueFd(::fcntl(held_->fd.get(), F_DUPFD_CLOEXEC, 3));
}

UdisksOpen UdisksHold::open(bool read_write, int flags) {
  const bool wants_exclusive = (flags & O_EXCL) != 0;
  if (UniqueFd fd = lend(read_write, flags)) return opened(std::move(fd));
  if (refusal_) return copy_of_answer(*refusal_);
  if (!block_) {
    struct stat info {};
    block_ = ::stat(path_.c_str(), &info) == 0 && S_ISBLK(info.st_mode);
  }
  // A block device is claimed from the first opening on, so that the job
  // that follows the geometry query holds the very descriptor it asked for.
  bool rw = read_write || widest_rw_;
  bool exclusive = wants_exclusive || *block_;
  for (;;) {
    std::optional<UdisksOpen>& failed = failed_[(rw ? 2 : 0) + (exclusive ? 1 : 0)];
    if (!failed) {
      UdisksOpen asked = open_through_udisks(path_, rw, exclusive ? O_EXCL : 0);
      if (asked.fd) {
        held_ = Held{std::move(asked.fd), rw, exclusive};
        return opened(lend(read_write, flags));
      }
      if (asked.answer != UdisksAnswer::failed) {
        refusal_ = std::move(asked);
        return copy_of_answer(*refusal_);
      }
      failed = std::move(asked);
    }
    // The kernel refused udisks2 this opening; a narrower one that still
    // serves the caller may do: a mounted disk's query needs no claim, and
    // a write-protected disk reads.
    if (failed->errno_value == EBUSY && exclusive && !wants_exclusive) {
      exclusive = false;
    } else if (failed->errno_value != EBUSY && rw && !read_write) {
      rw = false;
    } else {
      return copy_of_answer(*failed);
    }
  }
}

}  // namespace tessil::platform::linux_os
