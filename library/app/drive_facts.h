// Drive letters as the command line names them, resolved exactly as the
// library resolves them, and what the medium in a drive looks like.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geometry.h"
#include "platform/platform.h"
#include "standard_formats.h"

namespace tessil::app {

// The upper-case letter that `text` names: one ASCII letter, either case,
// optionally followed by a colon ("a", "B", "a:"). Nothing otherwise.
std::optional<char> drive_letter(std::string_view text);

// The device behind drive `letter` ("/dev/fd0"), or empty.
std::string device_of(char letter);

// True when `path` names the very file or device behind drive `letter`.
bool is_drive_file(char letter, const std::string& path);

// Drive `letter` opened for `access`, through `session` when the command
// holds it, or null with the reason in `error`.
std::unique_ptr<platform::Drive> open_drive(char letter, platform::DriveAccess access,
                                            platform::Error& error,
                                            platform::DriveSession* session = nullptr);

// The same, opened to read the medium itself (as a verify does), or to
// format its disk.
std::unique_ptr<platform::Drive> open_drive_to_verify(char letter, platform::Error& error,
                                                      platform::DriveSession* session = nullptr);
std::unique_ptr<platform::DiskFormatter> open_to_format(char letter, platform::Error& error,
                                                        platform::DriveSession* session = nullptr);

// The formats drive `letter` can give a disk, smallest first; empty for
// anything that is not a floppy drive.
std::vector<const StandardFormat*> drive_formats(char letter);

// Drive `letter` held open, for `widest` access, for everything one
// command does with it, so that the system is asked only once; null where
// nothing needs holding.
std::unique_ptr<platform::DriveSession> hold_drive(char letter, platform::DriveAccess widest);

struct DriveFacts {
  char letter = 0;
  std::string device;  // empty when nothing stands behind the letter
  platform::DriveKind kind = platform::DriveKind::floppy_controller;
  bool has_disk = false;
  DriveInfo info;                                  // filled when has_disk
  platform::Error reason = platform::Error::none;  // why there is no disk
  // The formats the drive can give a disk, smallest first; empty for
  // anything but a floppy drive.
  std::vector<const StandardFormat*> formats;
};

// The standard format of the disk in the drive, or null (no disk, or a
// geometry of no standard format).
const StandardFormat* disk_format(const DriveFacts& drive);

// One drive, queried now, through `session` when the command holds the
// drive. Waits for the drive.
DriveFacts look_at_drive(char letter, platform::DriveSession* session = nullptr);

// Every letter in use, in letter order, each queried.
std::vector<DriveFacts> look_at_drives();

}  // namespace tessil::app
