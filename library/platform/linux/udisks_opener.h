// Opening a drive through udisks2 on the system bus, for a user whom the
// device node's permissions keep out: polkit decides, and may ask the user
// through the desktop's authorisation dialog. Every call is bounded in time,
// and a machine without udisks2 or without a system bus only gets a refusal.
#pragma once

#include <cerrno>
#include <string>

#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

enum class UdisksAnswer {
  opened,
  refused,      // polkit said no
  unavailable,  // no system bus, no udisks2, or it does not know the device
  failed,       // udisks2 tried to open the device and the kernel refused it
};

struct UdisksOpen {
  UdisksAnswer answer = UdisksAnswer::unavailable;
  UniqueFd fd;               // with `opened`: the caller's own descriptor of `path`
  int errno_value = EACCES;  // why not: EACCES unless the kernel said otherwise
  std::string why;           // a line for the trace
  // With `refused`: polkit refused open-device-system, the action for a
  // device the system set up, rather than open-device. The action udisks2
  // named when it did, else the one it uses for this device.
  bool system_action = false;
};

// Asks udisks2 to open the block device behind `path` read-only or
// read-write, with the extra open(2) flags `flags` (O_EXCL), and traces
// the answer. The descriptor is checked to be `path`'s own device (or
// file) before it is returned. Every call is a check of polkit's, which
// may ask the user.
UdisksOpen open_through_udisks(const std::string& path, bool read_write, int flags);

// The answer `asked` again, without its descriptor.
UdisksOpen copy_of_answer(const UdisksOpen& asked);

}  // namespace tessil::platform::linux_os
