// Opening a drive's device node (or image file): by ourselves first, and
// through udisks2 when the node's permissions keep this user out. What comes
// back is used alike whoever opened it. Given a command's hold, udisks2 is
// asked through it, and what it holds already serves first.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

#include "platform/linux/unique_fd.h"
#include "platform/platform.h"

namespace tessil::platform::linux_os {

class UdisksHold;

// Opens `path` read-only with the extra `flags` (O_CLOEXEC), for a look at
// the medium. Empty on failure, with the reason in `error`.
UniqueFd open_node_to_read(const std::string& path, int flags, Error& error,
                           UdisksHold* hold = nullptr);

// Opens `path` for a job with the extra `flags` (O_CLOEXEC, O_EXCL):
// read-write when the medium and the user may write, read-only when the
// medium is write-protected or the job only reads; `read_only` says which.
// Empty on failure, with the reason in `error`.
UniqueFd open_node_for_job(const std::string& path, DriveAccess access, int flags, bool& read_only,
                           Error& error, UdisksHold* hold = nullptr);

// A drive's node held for a job: a block device claimed with O_EXCL (so a
// mounted disk is refused), a file with an flock, and its kind checked again
// on the descriptor, since the path may change between the look and the
// open.
struct ClaimedNode {
  UniqueFd fd;
  struct stat info {};
  bool block = false;
  bool read_only = false;
};

// Only a block device or a regular file is claimed. Nothing on failure, with
// `error`.
std::optional<ClaimedNode> claim_node_for_job(const std::string& path, DriveAccess access,
                                              Error& error, UdisksHold* hold = nullptr);

}  // namespace tessil::platform::linux_os
