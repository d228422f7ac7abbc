// What udisks2 opened for one command. Every OpenDevice call is a polkit
// check, and outside an active local session each check asks for a
// password: a command asks once, for the widest access it needs, and each
// later opening of the drive in that command is a copy of that descriptor.
// Nothing outlives the hold.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "platform/linux/udisks_opener.h"
#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

class UdisksHold {
 public:
  // The drive at `path`, for a command that writes it (`read_write`) or
  // only reads it.
  UdisksHold(std::string path, bool read_write) : path_(std::move(path)), widest_rw_(read_write) {}

  // A copy of the held descriptor when it serves an opening for
  // `read_write` with the extra open(2) `flags` (O_EXCL claims the device);
  // empty when nothing held serves. The copies share the held descriptor's
  // file status flags: a reader that sets O_DIRECT puts them back (the
  // verify) or is the last step of its command (a rescue).
  UniqueFd lend(bool read_write, int flags) const;

  // As open_through_udisks, but udisks2 is asked at most once for each kind
  // of opening, and first for the widest the command needs, held
  // exclusively when the drive is a block device. A refusal stands for the
  // whole command.
  UdisksOpen open(bool read_write, int flags);

 private:
  struct Held {
    UniqueFd fd;
    bool read_write = false;
    bool exclusive = false;
  };

  std::string path_;
  bool widest_rw_;
  std::optional<bool> block_;  // known at the first ask
  std::optional<Held> held_;
  std::optional<UdisksOpen> refusal_;  // polkit's no, or no udisks2 at all
  // What the kernel answered udisks2, by read_write * 2 + exclusive.
  std::array<std::optional<UdisksOpen>, 4> failed_;
};

}  // namespace tessil::platform::linux_os
