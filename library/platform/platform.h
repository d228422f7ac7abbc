// The operating system's side of the library: raw drive access, threads,
// the version record and the debugger output channel. Everything above this
// interface is plain logic; everything below it is one file per system, and
// errno never leaves it except as a platform::Error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace tessil::platform {

enum class Error {
  none,
  not_found,      // nothing stands behind the drive letter or path
  no_medium,      // the drive is empty
  access_denied,  // no permission
  busy,           // mounted, or held exclusively by another program
  read_only,      // the medium is write-protected
  no_space,       // past the end of the medium
  io,             // the medium failed
  other,
};

// The geometry of a medium as the drive reports it: 24 bytes, in this order.
struct DriveGeometry {
  int64_t cylinders = 0;
  uint32_t media_type = 0;
  uint32_t tracks_per_cylinder = 0;
  uint32_t sectors_per_track = 0;
  uint32_t bytes_per_sector = 0;
};
static_assert(sizeof(DriveGeometry) == 24);

// The system's version record: platform id 2 is the NT family, 1 the 95 family.
struct VersionInfo {
  uint32_t platform_id = 0;
  uint32_t major = 0;
  uint32_t minor = 0;
};

// A raw drive opened for a job. Closing it is destroying it.
class Drive {
 public:
  virtual ~Drive() = default;
  // Reads up to data.size() bytes at the current position. Returns the count
  // delivered: fewer at the end of the medium, 0 at its end or on a failure.
  virtual std::size_t read(std::span<std::byte> data) = 0;
  // Writes every byte at the current position, or fails.
  virtual Error write(std::span<const std::byte> data) = 0;
  // Makes everything written so far durable on the medium.
  virtual Error flush() = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Opens the probe path for binary reading and closes it again; true when it
  // opened. Only a diagnostic line depends on it.
  virtual bool probe_file(const char* path) = 0;

  // Geometry of the medium behind a device path such as \\.\A: (the drive
  // letter's device). Waits for the drive. Error::none only when `out` is
  // filled and the medium has a size.
  virtual Error query_geometry(std::string_view device_path, DriveGeometry& out) = 0;

  // Opens the drive behind a device path for a job: read-write and exclusive,
  // or read-only when the medium is write-protected. Null on failure, with
  // the reason in `error`.
  virtual std::unique_ptr<Drive> open_drive(std::string_view device_path, Error& error) = 0;

  // True when `path` names the drive behind `device_path` itself (the same
  // file or the same device), so that a job never uses a drive as its own
  // image file.
  virtual bool is_drive(std::string_view device_path, const char* path) = 0;

  // Pushes a written image file to its medium (after the stream was
  // flushed). False when the file system reports a failure.
  virtual bool sync_file(std::FILE* file) = 0;

  // The system's version record, or nothing when it cannot be read.
  virtual std::optional<VersionInfo> version() = 0;

  // One line to the debugger output channel.
  virtual void debug_output(std::string_view line) = 0;

  // Runs `body` on a new detached thread. False when no thread could be made.
  virtual bool start_thread(std::function<void()> body) = 0;
};

// The platform in use: the system's own, unless a test substituted a fake.
Platform& current();

// Substitutes `fake` for the system's platform; nullptr restores it. The
// caller keeps `fake` alive until it is replaced and no job runs.
void substitute(Platform* fake);

// The system's own platform.
Platform& system();

}  // namespace tessil::platform
