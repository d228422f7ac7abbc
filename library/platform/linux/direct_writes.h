// Writes to a block device that bypass the page cache. A write through the
// cache of less than a page makes the kernel read the page around it from
// the disk first; O_DIRECT writes the sectors alone, and a failure shows at
// once rather than at fsync.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

#include "platform/platform.h"

namespace tessil::platform::linux_os {

// Writes `size` bytes at `offset`, going on after a signal or a short
// write; `written` says how far it got.
Error write_fully_at(int fd, const std::byte* data, std::size_t size, uint64_t offset,
                     std::size_t& written);

// The aligned buffer that O_DIRECT needs, kept from one write to the next.
class DirectWrites {
 public:
  // O_DIRECT is set on `fd` only for the length of the call: a descriptor
  // that a command holds is lent to the next step as it was. Where the
  // device takes no O_DIRECT the write goes through the cache after all.
  Error write_at(int fd, uint64_t offset, std::span<const std::byte> data);

 private:
  struct Free {
    void operator()(std::byte* p) const { std::free(p); }
  };
  bool reserve(std::size_t size);

  std::size_t sector_ = 0;  // the device's logical block, once asked
  std::unique_ptr<std::byte, Free> buffer_;
  std::size_t capacity_ = 0;
};

}  // namespace tessil::platform::linux_os
