#include "app/image_compare.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>

#include "image_format.h"
#include "platform/platform.h"
#include "tessil.h"

namespace tessil::app {

namespace {

// Fills `data` from the file's current position; the bytes read (fewer at
// its end), or nothing when it cannot be read.
std::optional<std::size_t> read_full(platform::ImageFile& file, std::span<std::byte> data) {
  std::size_t got = 0;
  while (got < data.size()) {
    const platform::ReadResult r = file.read(data.subspan(got));
    if (r.failed()) return std::nullopt;
    if (r.count == 0) break;
    got += r.count;
  }
  return got;
}

}  // namespace

VerifyOutcome compare_image_data(const std::string& written, const std::string& read_back) {
  VerifyOutcome result;
  result.outcome.code = JOB_HEADER_READ_FAILED;
  platform::Platform& os = platform::current();
  platform::Error& error = result.outcome.reason;
  const std::unique_ptr<platform::ImageFile> expected =
      os.open_image(written.c_str(), platform::ImageMode::read, error);
  const std::unique_ptr<platform::ImageFile> got =
      expected ? os.open_image(read_back.c_str(), platform::ImageMode::read, error) : nullptr;
  if (!got) return result;

  // Both headers are passed over; the addresses follow the disk's own.
  HeaderBytes header{};
  if (read_full(*expected, header) != header.size() || read_full(*got, header) != header.size())
    return result;
  const ImageHeader geometry = decode_header(header);

  std::array<std::byte, TESSIL_BLOCK_SIZE> a{}, b{};
  for (;;) {
    const std::optional<std::size_t> na = read_full(*expected, a);
    const std::optional<std::size_t> nb = read_full(*got, b);
    if (!na || !nb) return result;
    if (*na == 0 && *nb == 0) break;
    const bool same = *na == *nb && std::equal(a.begin(), a.begin() + *na, b.begin());
    count_sector(result, same, geometry.tracks_per_cylinder, geometry.sectors_per_track);
  }
  result.outcome = {
      result.differing_sectors == 0 ? JOB_OK : outcome::verify_failed, platform::Error::none, {}};
  return result;
}

}  // namespace tessil::app
