// An image file on Linux: a regular file or a block device, opened without
// ever waiting and moved in large buffered transfers.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/linux/unique_fd.h"
#include "platform/platform.h"

namespace tessil::platform::linux_os {

class LinuxImageFile final : public ImageFile {
 public:
  // Null, with `error`, for anything but a regular file or a block device.
  // A block device is claimed exclusively, so a mounted one or a partition
  // of a disk in use is refused.
  static std::unique_ptr<ImageFile> open(const char* path, ImageMode mode, Error& error);

  LinuxImageFile(UniqueFd fd, UniqueFd directory);
  ~LinuxImageFile() override;

  ReadResult read(std::span<std::byte> data) override;
  Error write(std::span<const std::byte> data) override;
  Error finish() override;
  std::optional<uint64_t> size() override;
  Error write_at(uint64_t offset, std::span<const std::byte> data) override;
  Error sync() override;
  bool named_by(const char* path) override;
  Error set_size(uint64_t size) override;
  ReadResult read_at(uint64_t offset, std::span<std::byte> data) override;

 private:
  Error write_out();

  UniqueFd fd_;
  UniqueFd directory_;  // of a newly created file, synced after it
  std::vector<std::byte> buffer_;
  std::size_t buffered_ = 0;  // bytes waiting in the buffer (write) or left to hand out (read)
  std::size_t handed_ = 0;    // read: bytes of the buffer already handed out
  Error failure_ = Error::none;
  bool at_end_ = false;
  bool writing_ = false;                  // the buffer holds bytes written, not bytes read
  std::optional<FileIdentity> identity_;  // as opened, for named_by after close
};

}  // namespace tessil::platform::linux_os
