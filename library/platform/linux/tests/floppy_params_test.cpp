// What each kind of floppy-controller drive can give a disk, and the
// driver's parameters for it: a wrong row formats a disk no machine reads.
#include "platform/linux/floppy_params.h"

#include <gtest/gtest.h>

#include <string>

namespace tessil::platform::linux_os {
namespace {

std::string names(FloppyDriveKind kind) {
  std::string text;
  for (const StandardFormat* format : formats_for_drive(kind))
    text += (text.empty() ? "" : ", ") + std::string(format->name);
  return text;
}

TEST(FloppyParams, EachDriveKindTakesItsFormats) {
  EXPECT_EQ(names(floppy_drive_kind(1)), "160 KB, 180 KB, 320 KB, 360 KB");
  EXPECT_EQ(names(floppy_drive_kind(2)), "160 KB, 180 KB, 320 KB, 360 KB, 1.2 MB");
  EXPECT_EQ(names(floppy_drive_kind(3)), "720 KB");
  EXPECT_EQ(names(floppy_drive_kind(4)), "720 KB, 1.44 MB, 1.68 MB, 1.72 MB");
  EXPECT_EQ(names(floppy_drive_kind(6)), "720 KB, 1.44 MB, 1.68 MB, 1.72 MB, 2.88 MB");
  EXPECT_EQ(names(floppy_drive_kind(0)), "");
  EXPECT_FALSE(floppy_params(*standard_format_of(2'949'120), FloppyDriveKind::hd_35));
}

TEST(FloppyParams, ParametersDescribeTheWholeDisk) {
  for (const FloppyDriveKind kind : {FloppyDriveKind::dd_525, FloppyDriveKind::hd_525,
                                     FloppyDriveKind::dd_35, FloppyDriveKind::ed_35}) {
    for (const StandardFormat* format : formats_for_drive(kind)) {
      SCOPED_TRACE(std::string(format->name) + " in kind " + std::to_string(int(kind)));
      const std::optional<floppy_struct> params = floppy_params(*format, kind);
      ASSERT_TRUE(params);
      EXPECT_EQ(uint64_t{params->size} * 512, format->size);
      EXPECT_EQ(params->track, format->cylinders);
      EXPECT_NE(params->fmt_gap, 0);  // the driver refuses to format without one
      // A 40-cylinder disk in an 80-track drive: two steps a cylinder.
      const bool stretched = format->cylinders == 40 && kind == FloppyDriveKind::hd_525;
      EXPECT_EQ(params->stretch & FD_STRETCH, stretched ? FD_STRETCH : 0u);
    }
  }
}

}  // namespace
}  // namespace tessil::platform::linux_os
