// A drive that stands for a plain file whose size is not a whole number of
// sectors: a copy would read the part of a sector at its end as if it were
// one, or find no sector at all. The commands that copy from a drive refuse
// it before they start; the library's own entry points are left as they are.
#pragma once

namespace tessil::cli {

// Says on standard error, as outcome 118, why the drive `letter` is
// refused, and returns its exit status; 0 when it is not such a file.
int refuse_partial_sectors(char letter);

}  // namespace tessil::cli
