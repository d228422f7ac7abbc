// What the platform hands out for a job: a raw drive, the drive held for a
// whole command, and an image file, each read and written through the
// platform's own error values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/error.h"
#include "standard_formats.h"

namespace tessil::platform {

struct DriveGeometry;
enum class DriveAccess;

// What a read delivered. Fewer bytes than asked for come either from the
// end of the medium (`end`) or from a failure (`error`); a failed part is
// skipped, so the next read goes on after it.
struct ReadResult {
  std::size_t count = 0;
  Error error = Error::none;
  bool end = false;

  bool failed() const { return error != Error::none; }
};

// A raw drive opened for a job. Closing it is destroying it.
class Drive {
 public:
  virtual ~Drive() = default;
  // Reads up to data.size() bytes at the current position.
  virtual ReadResult read(std::span<std::byte> data) = 0;
  // Writes every byte at the current position, or fails.
  virtual Error write(std::span<const std::byte> data) = 0;
  // Makes everything written so far durable on the medium.
  virtual Error flush() = 0;
  // Reads data.size() bytes (whole sectors) at byte `offset` from the
  // medium itself, never from a cache, so that a bad sector fails alone and
  // a second try really asks the medium again. A failure leaves `count` at
  // the bytes read before it. Leaves the sequential position alone; a drive
  // read this way is read only this way.
  virtual ReadResult read_at(uint64_t offset, std::span<std::byte> data) = 0;
  // Writes every byte at byte `offset` (whole sectors, but for a last part
  // of one) straight to the medium: nothing around them is read first, and
  // a failure shows here, not at flush(). Leaves the sequential position
  // alone; a drive written this way is written only this way.
  virtual Error write_at(uint64_t offset, std::span<const std::byte> data) = 0;
};

// A floppy drive opened to lay a new format down on its disk, track by
// track. The disk need not hold any format yet. Closing it is destroying it;
// a format not ended leaves the disk partly formatted.
class DiskFormatter {
 public:
  virtual ~DiskFormatter() = default;
  // The standard formats this drive can give a disk, smallest first.
  virtual std::vector<const StandardFormat*> formats() = 0;
  // Sets the drive to `format`, one of formats(): every later track is laid
  // down in it.
  virtual Error begin(const StandardFormat& format) = 0;
  // Lays down every sector of one track, empty. Tracks go in order,
  // cylinder by cylinder, head by head.
  virtual Error format_track(uint32_t cylinder, uint32_t head) = 0;
  // Ends the format; a drive opened after it reads the disk in its new
  // format.
  virtual Error end() = 0;
};

// One drive for the length of one command (or one job): its geometry query
// and every drive it opens go through it. Where the system must be asked
// for leave to open the drive, it is asked once, for the widest access the
// command needs, and that one opening serves every step; where the user may
// open the drive, each step opens it as it would alone. Nothing is kept
// once it is destroyed. Used by one thread at a time.
class DriveSession {
 public:
  virtual ~DriveSession() = default;
  // As Platform::query_geometry, open_drive and open_drive_to_verify do for
  // the session's device path.
  virtual Error query_geometry(DriveGeometry& out) = 0;
  virtual std::unique_ptr<Drive> open_drive(DriveAccess access, Error& error) = 0;
  virtual std::unique_ptr<Drive> open_drive_to_verify(Error& error) = 0;
  // As Platform::open_to_format.
  virtual std::unique_ptr<DiskFormatter> open_to_format(Error& error) {
    error = Error::other;
    return nullptr;
  }
};

// An image file opened for a job or a look at its header, read or written
// from its start on. Closing it is destroying it; nothing counts as written
// before finish() said so.
class ImageFile {
 public:
  virtual ~ImageFile() = default;
  // Reads up to data.size() bytes at the current position.
  virtual ReadResult read(std::span<std::byte> data) = 0;
  // Writes every byte at the current position, or fails. A failure may show
  // only at a later write or at finish().
  virtual Error write(std::span<const std::byte> data) = 0;
  // Makes everything written durable: the data, then a new file's directory
  // entry.
  virtual Error finish() = 0;
  // The size in bytes of the file or device as it was opened, or nothing
  // when it cannot be told.
  virtual std::optional<uint64_t> size() = 0;
  // Writes every byte at `offset` from the file's start (an image opened to
  // update), or fails.
  virtual Error write_at(uint64_t offset, std::span<const std::byte> data) = 0;
  // Makes everything written so far durable; the file stays open.
  virtual Error sync() = 0;
  // True while `path` still names this very file: it was neither deleted nor
  // renamed away, nor replaced by another file of that name.
  virtual bool named_by(const char* path) {
    (void)path;
    return true;
  }
  // Makes the file `size` bytes long, what it gains reading as zeros,
  // without writing them; Error::other where that cannot be done, and the
  // caller writes the zeros itself.
  virtual Error set_size(uint64_t size) {
    (void)size;
    return Error::other;
  }
  // Reads data.size() bytes at `offset` from the file's start, whatever
  // was written before; leaves the current position alone. Error::other
  // where the file cannot be read so.
  virtual ReadResult read_at(uint64_t offset, std::span<std::byte> data) {
    (void)offset, (void)data;
    return {0, Error::other, false};
  }
};

}  // namespace tessil::platform
