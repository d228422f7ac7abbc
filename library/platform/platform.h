// The operating system's side of the library and of the programs around
// it: raw drive access, files, threads, the version record, the debugger
// output channel, and what a program asks of the system about itself.
// Everything above this interface is plain logic; everything below it is
// one folder per system, and errno never leaves it except as a
// platform::Error.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/handles.h"
#include "platform/termination_watch.h"
#include "platform/usb_identity.h"

namespace tessil::platform {

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

// What makes a file itself, whatever name or link leads to it.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// What a job does with a drive: an open that needs someone else's help asks
// for no more than this.
enum class DriveAccess {
  read,        // a read job
  read_write,  // a write job
};

enum class ImageMode {
  read,            // an existing image file
  create,          // a new image file, or an existing one emptied
  create_new,      // a new image file only: never an existing name, nor a link
  create_private,  // as create_new, readable and writable by its owner alone
  update,          // an existing image file, read and written in place
};

// How a drive letter came to stand for its device.
enum class DriveKind {
  floppy_controller,
  usb_floppy,
  environment,  // named by TESSIL_DRIVE_<LETTER>
};

struct DriveEntry {
  char letter = 0;
  std::string device;  // the device node or file behind the letter
  DriveKind kind = DriveKind::floppy_controller;
};

enum class StandardStream { input, output, error };

// What came on standard input while a program waited.
enum class InputWait {
  quiet,   // nothing within the time, or a signal cut the wait short
  line,    // something was typed (and taken)
  closed,  // the input has ended, or there is none to watch
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
  // or read-only when the medium is write-protected. `access` is what the job
  // needs, for when the drive can only be opened with the system's leave.
  // Null on failure, with the reason in `error`.
  virtual std::unique_ptr<Drive> open_drive(std::string_view device_path, DriveAccess access,
                                            Error& error) = 0;
  // The same for a job that may write.
  std::unique_ptr<Drive> open_drive(std::string_view device_path, Error& error) {
    return open_drive(device_path, DriveAccess::read_write, error);
  }

  // Opens the drive read-only and exclusive to check what is on the medium:
  // its reads come from the medium itself, never from a copy that the
  // system or the drive's driver kept of earlier reads or writes.
  virtual std::unique_ptr<Drive> open_drive_to_verify(std::string_view device_path,
                                                      Error& error) = 0;

  // Opens the floppy drive behind a device path, read-write and exclusive,
  // to format its disk; the disk may hold no format at all. Null with
  // Error::other for anything that is not a floppy drive (a file, a hard
  // disk), with Error::read_only for a write-protected disk, Error::busy
  // for a mounted or held drive.
  virtual std::unique_ptr<DiskFormatter> open_to_format(std::string_view device_path,
                                                        Error& error) {
    (void)device_path;
    error = Error::other;
    return nullptr;
  }
  // The standard formats the floppy drive behind a device path can give a
  // disk and read, smallest first; empty for anything else, or when the
  // drive cannot tell. Needs no disk in the drive.
  virtual std::vector<const StandardFormat*> formats_of(std::string_view device_path) {
    (void)device_path;
    return {};
  }

  // Holds the drive behind a device path for one command or one job whose
  // steps need at most `widest`. Opens nothing yet: the steps do, through
  // the session. This default holds nothing and opens anew at each step.
  virtual std::unique_ptr<DriveSession> hold_drive(std::string_view device_path,
                                                   DriveAccess widest);

  // True when `path` reaches the storage of the drive behind `device_path`:
  // the same file or device, another part of the same disk, or a device or
  // file that one of them stands on. A job never uses a drive as its own
  // image file.
  virtual bool is_drive(std::string_view device_path, const char* path) = 0;

  // Opens an image file. Only a regular file or a block device is ever
  // opened, and the open never waits (a FIFO is refused, not waited on).
  // Null on failure, with the reason in `error`.
  virtual std::unique_ptr<ImageFile> open_image(const char* path, ImageMode mode, Error& error) = 0;

  // Replaces the small file at `path` by `content` in one step: whoever
  // reads it, even after a crash, finds the old content or the new one. A
  // link at `path` is replaced, never written through. Unless `replace`, an
  // existing `path` is left alone and the answer is Error::exists.
  virtual Error replace_file(const char* path, std::string_view content, bool replace = true) = 0;

  // Files that a command makes: a new one is written under a temporary name
  // beside its final one and published whole.

  // A name in the folder of `path` that nobody can guess and nothing holds
  // yet; empty where the system cannot make one.
  virtual std::string temporary_name_beside(const char* path) {
    (void)path;
    return {};
  }
  // Renames the whole file `from` to `to` in one step and makes that last.
  // What `to` named before (a file or a link, never followed) is replaced
  // only when `replace`; otherwise Error::exists.
  virtual Error publish(const char* from, const char* to, bool replace) {
    (void)from, (void)to, (void)replace;
    return Error::other;
  }
  // Removes the name `path` (a link itself, not what it leads to).
  virtual Error remove_file(const char* path) {
    (void)path;
    return Error::other;
  }
  // The file that `path` leads to, or nothing when there is none.
  virtual std::optional<FileIdentity> identity_of(const char* path) {
    (void)path;
    return std::nullopt;
  }
  // Appends `line` to the log at `path`, made if need be, while no other
  // program appends to it, with `heading` first when the log is empty; the
  // line is durable on return. A log this call made is removed again when
  // the line could not be written. A link at `path` is never followed.
  virtual Error append_line(const char* path, std::string_view heading, std::string_view line) {
    (void)path, (void)heading, (void)line;
    return Error::other;
  }
  // True when `path` is the file behind some loop device or similar
  // stand-in for a disk, whether or not it is a drive of ours.
  virtual bool backs_a_device(const char* path) {
    (void)path;
    return false;
  }

  // Every drive letter in use, in letter order.
  virtual std::vector<DriveEntry> list_drives() = 0;

  // The device node or file behind a device path; empty when there is none.
  virtual std::string device_of(std::string_view device_path) = 0;

  // The system's version record, or nothing when it cannot be read.
  virtual std::optional<VersionInfo> version() = 0;

  // One line to the debugger output channel.
  virtual void debug_output(std::string_view line) = 0;

  // Runs `body` on a new detached thread. False when no thread could be made.
  virtual bool start_thread(std::function<void()> body) = 0;

  // What a program around the engine asks of the system. A system that
  // lacks one answers as the defaults do: not supported.

  // Makes a name just made, renamed or removed in the folder of `path`
  // survive a crash.
  virtual Error sync_folder_of(const char* path) {
    (void)path;
    return Error::other;
  }
  // True when the stream is a terminal, where a person reads or types.
  virtual bool is_terminal(StandardStream stream) {
    (void)stream;
    return false;
  }
  // Waits up to `timeout` for a line on standard input when `watch_input`,
  // else just waits; a termination signal ends the wait early.
  virtual InputWait wait_for_input(std::chrono::milliseconds timeout, bool watch_input) {
    (void)watch_input;
    std::this_thread::sleep_for(timeout);
    return InputWait::closed;
  }
  // The terminal's width in columns; nothing when the stream is no terminal.
  virtual std::optional<int> terminal_width(StandardStream stream) {
    (void)stream;
    return std::nullopt;
  }
  // Points standard output where debug_output's lines go, or nowhere when
  // they go nowhere: for a program with no console whose engine prints.
  virtual bool route_standard_output_to_debug() { return false; }
  // This machine's name and the user's the program runs as; empty when
  // unknown.
  virtual std::string host_name() { return {}; }
  virtual std::string user_name() { return {}; }
  // Now in UTC, ISO 8601: "2026-05-01T10:00:00Z"; empty when unknown.
  virtual std::string utc_now() { return {}; }
  // The USB device that the device node or file `node` stands on; nothing
  // when it is not on USB.
  virtual std::optional<UsbIdentity> usb_identity_of(const char* node) {
    (void)node;
    return std::nullopt;
  }
  // Takes the requests to end the program over until the watch is
  // destroyed. One watch at a time; null when there is one already or the
  // requests cannot be taken over.
  virtual std::unique_ptr<TerminationWatch> watch_termination(WhenIgnored ignored) {
    (void)ignored;
    return nullptr;
  }
};

// True when `a` and `b` lead to the same file: the same identity where both
// exist, else the same path once links and ".." are resolved.
bool same_file(const std::string& a, const std::string& b);

// The platform in use: the system's own, unless a test substituted a fake.
Platform& current();

// Substitutes `fake` for the system's platform; nullptr restores it. The
// caller keeps `fake` alive until it is replaced and no job runs.
void substitute(Platform* fake);

// The system's own platform, made once by the factory of the system the
// library was built for.
Platform& system();

}  // namespace tessil::platform
