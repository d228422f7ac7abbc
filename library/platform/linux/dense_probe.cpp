#include "platform/linux/dense_probe.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/linux/direct_reads.h"
#include "platform/linux/floppy_params.h"
#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

namespace {

constexpr std::size_t sector = standard_sector_size;

struct Free {
  void operator()(void* p) const { std::free(p); }
};

using Sector = std::array<std::byte, sector>;

// Sector `number` (from 0) read from the medium itself, past every cache.
std::optional<Sector> read_sector(int control, const std::string& path, uint64_t number) {
  ::ioctl(control, FDFLUSH);  // nor from the driver's track buffer
  const UniqueFd fd = open_fd(path.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
  const std::unique_ptr<void, Free> buffer(std::aligned_alloc(4096, 4096));
  if (!fd || !buffer) return std::nullopt;
  if (::pread(fd.get(), buffer.get(), sector, static_cast<off_t>(number * sector)) !=
      static_cast<ssize_t>(sector))
    return std::nullopt;
  Sector bytes;
  std::memcpy(bytes.data(), buffer.get(), sector);
  return bytes;
}

// True when the last sector of `format`'s last track is on the disk. A
// controller that reports a missing sector as the end of the cylinder gets
// its read taken for a success, with the bytes of the read before it: so
// the sector is read after each of two sectors that differ, and a copy of
// whichever came before it is no sector of its own. The two are taken from
// the same cylinder, else (an empty cylinder is all alike) from the disk's
// start; where every pair is alike, the read's success is believed.
bool last_sector_there(int control, const std::string& path, const StandardFormat& format) {
  const uint64_t track = uint64_t{format.sectors_per_track};
  const uint64_t last = format.size / sector - 1;
  const std::pair<uint64_t, uint64_t> pairs[] = {{last + 1 - track, last + 1 - 2 * track}, {0, 1}};
  for (const auto& [one, other] : pairs) {
    const std::optional<Sector> before_first = read_sector(control, path, one);
    const std::optional<Sector> first = read_sector(control, path, last);
    if (!first) return false;
    const std::optional<Sector> before_second = read_sector(control, path, other);
    const std::optional<Sector> second = read_sector(control, path, last);
    if (!before_first || !before_second || !second) return false;
    if (*before_first != *before_second) return *first == *second;
  }
  return true;
}

}  // namespace

std::optional<floppy_struct> find_denser_format(const std::string& path,
                                                const floppy_struct& found) {
  const StandardFormat* wider = standard_format_of(82 * 2 * 21 * sector);
  const StandardFormat* dense = standard_format_of(80 * 2 * 21 * sector);
  if (found.sect != 18 || found.head != 2 || found.track != 80 || !wider || !dense)
    return std::nullopt;
  // The driver takes new parameters only from a descriptor open for
  // writing; a non-blocking one opens even on a write-protected disk, and
  // nothing is written through it. The raw READ ID command would say the
  // same in one revolution, but distribution kernels leave raw commands out.
  const UniqueFd control = open_fd(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (!control) return std::nullopt;
  floppy_drive_params drive{};
  if (::ioctl(control.get(), FDGETDRVPRM, &drive) != 0) return std::nullopt;
  const FloppyDriveKind kind = floppy_drive_kind(drive.cmos);
  // One try per probe: on a 1.44 MB disk the 21st sector is missing by
  // design, and the driver's retries would only add revolutions.
  const FloppyErrorLimit one_try(control.get());
  // The disk's last sector in each format: no 18-sector disk has it. The
  // 80-cylinder format first, so that a 1.44 MB disk never sends the head
  // past the cylinders every drive has.
  std::optional<floppy_struct> dense_params = floppy_params(*dense, kind);
  if (dense_params && ::ioctl(control.get(), FDSETPRM, &*dense_params) == 0 &&
      last_sector_there(control.get(), path, *dense)) {
    std::optional<floppy_struct> wider_params = floppy_params(*wider, kind);
    if (wider_params && ::ioctl(control.get(), FDSETPRM, &*wider_params) == 0 &&
        last_sector_there(control.get(), path, *wider))
      return wider_params;
    if (::ioctl(control.get(), FDSETPRM, &*dense_params) == 0) return dense_params;
  }
  floppy_struct back = found;
  ::ioctl(control.get(), FDSETPRM, &back);
  return std::nullopt;
}

}  // namespace tessil::platform::linux_os
