#include "platform/linux/dense_probe.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "platform/linux/direct_reads.h"
#include "platform/linux/floppy_params.h"
#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

namespace {

constexpr std::size_t sector = standard_sector_size;

struct Free {
  void operator()(void* p) const { std::free(p); }
};

// True when sector `number` (from 0) reads from the medium itself.
bool sector_reads(const std::string& path, uint64_t number) {
  const UniqueFd fd = open_fd(path.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
  const std::unique_ptr<void, Free> buffer(std::aligned_alloc(4096, 4096));
  if (!fd || !buffer) return false;
  return ::pread(fd.get(), buffer.get(), sector, static_cast<off_t>(number * sector)) ==
         static_cast<ssize_t>(sector);
}

uint64_t last_sector_of_track(const StandardFormat& format, uint32_t cylinder, uint32_t head) {
  return (uint64_t{cylinder} * format.heads + head + 1) * format.sectors_per_track - 1;
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
  std::optional<floppy_struct> params = floppy_params(*wider, kind);
  if (!params) return std::nullopt;
  // One try per probe: on a 1.44 MB disk the 21st sector is missing by
  // design, and the driver's retries would only add revolutions.
  const FloppyErrorLimit one_try(control.get());
  if (::ioctl(control.get(), FDSETPRM, &*params) != 0) return std::nullopt;
  if (sector_reads(path, last_sector_of_track(*wider, 0, 0))) {
    if (sector_reads(path, last_sector_of_track(*wider, 81, 1))) return params;
    params = floppy_params(*dense, kind);
    if (params && ::ioctl(control.get(), FDSETPRM, &*params) == 0) return params;
  }
  floppy_struct back = found;
  ::ioctl(control.get(), FDSETPRM, &back);
  return std::nullopt;
}

}  // namespace tessil::platform::linux_os
