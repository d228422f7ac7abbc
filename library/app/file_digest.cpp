#include "app/file_digest.h"

#include <algorithm>
#include <memory>
#include <span>
#include <vector>

#include "app/cancel_signals.h"
#include "data_digest.h"
#include "platform/platform.h"

namespace tessil::app {

std::optional<FileDigests> digest_file(const std::string& path, uint64_t data_offset) {
  platform::Error error = platform::Error::none;
  const std::unique_ptr<platform::ImageFile> file =
      platform::current().open_image(path.c_str(), platform::ImageMode::read, error);
  if (!file) return std::nullopt;

  DataDigest data;
  DataDigest whole;
  std::vector<std::byte> buffer(256 * 1024);
  uint64_t at = 0;
  for (;;) {
    // A large image takes seconds; Ctrl-C or SIGTERM leaves its checksums
    // unknown rather than wait for them.
    if (CancelSignals::requested()) return std::nullopt;
    const platform::ReadResult read = file->read(buffer);
    if (read.failed()) return std::nullopt;
    const std::span<const std::byte> got(buffer.data(), read.count);
    whole.update(got);
    // The part of this buffer at or past the data's offset.
    const uint64_t skip = std::min<uint64_t>(got.size(), data_offset > at ? data_offset - at : 0);
    data.update(got.subspan(static_cast<std::size_t>(skip)));
    at += got.size();
    if (read.end || read.count < buffer.size()) break;
  }
  FileDigests digests{data.finish(), whole.finish(), at};
  if (digests.data.empty() || digests.file.empty()) return std::nullopt;
  return digests;
}

}  // namespace tessil::app
