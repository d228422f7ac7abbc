// A format of the disk in a drive run from the command line: its progress
// on standard error, Ctrl-C taken between tracks, and the line it ends
// with.
#pragma once

#include "app/format_disk.h"

namespace tessil::cli {

// Runs the format; `plain_progress` as --progress asks.
app::FormatRun format_with_progress(const app::FormatRequest& request, bool plain_progress);

// Prints the line that ends the format and returns the exit status.
int report_format(const app::FormatRun& run, const app::FormatRequest& request);

}  // namespace tessil::cli
