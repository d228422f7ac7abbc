#include "file_digest.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <span>
#include <vector>

#include "data_digest.h"
#include "platform/linux/unique_fd.h"

namespace tessil::cli {

using platform::linux_os::open_fd;
using platform::linux_os::UniqueFd;

std::optional<FileDigests> digest_file(const std::string& path, uint64_t data_offset) {
  const UniqueFd file = open_fd(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (!file) return std::nullopt;

  DataDigest data;
  DataDigest whole;
  std::vector<std::byte> buffer(256 * 1024);
  uint64_t at = 0;
  for (;;) {
    const ssize_t n = ::read(file.get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    const std::span<const std::byte> got(buffer.data(), static_cast<std::size_t>(n));
    whole.update(got);
    // The part of this buffer at or past the data's offset.
    const uint64_t skip = std::min<uint64_t>(got.size(), data_offset > at ? data_offset - at : 0);
    data.update(got.subspan(static_cast<std::size_t>(skip)));
    at += got.size();
  }
  FileDigests digests{data.finish(), whole.finish(), at};
  if (digests.data.empty() || digests.file.empty()) return std::nullopt;
  return digests;
}

}  // namespace tessil::cli
