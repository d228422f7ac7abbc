// What the floppy driver needs to lay down or read each standard format in
// a floppy-controller drive: the drive kinds that take it, its data rate,
// gaps and stepping.
#pragma once

#include <linux/fd.h>

#include <optional>
#include <vector>

#include "standard_formats.h"

namespace tessil::platform::linux_os {

// The drive kinds the driver reports (the CMOS type of FDGETDRVPRM).
enum class FloppyDriveKind {
  unknown = 0,
  dd_525 = 1,  // 360 KB, 5.25"
  hd_525 = 2,  // 1.2 MB, 5.25"
  dd_35 = 3,   // 720 KB, 3.5"
  hd_35 = 4,   // 1.44 MB, 3.5"
  ed_35 = 5,   // 2.88 MB, 3.5" (5 and 6 both)
};

// The kind from the driver's CMOS number.
FloppyDriveKind floppy_drive_kind(int cmos);

// The standard formats a drive of `kind` can lay down and read, smallest
// first.
std::vector<const StandardFormat*> formats_for_drive(FloppyDriveKind kind);

// The driver's parameters for `format` in a drive of `kind`; nothing when
// that drive cannot take it.
std::optional<floppy_struct> floppy_params(const StandardFormat& format, FloppyDriveKind kind);

}  // namespace tessil::platform::linux_os
