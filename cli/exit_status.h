// The program's exit statuses, and the one place that turns a failure into
// its message on standard error.
#pragma once

#include <cstdint>
#include <string_view>

#include "outcomes.h"
#include "platform/platform.h"
#include "tessil.h"

namespace tessil::cli {

// The exit statuses of the outcomes that are the command line's own.
inline constexpr int exit_ok = exit_status_of(outcome::done);
// Bad usage, or a refusal to replace something (an existing file, a disk
// whose replacement was not confirmed).
inline constexpr int exit_usage = exit_status_of(outcome::usage);
// A verify found sectors on the disk that differ from the image.
inline constexpr int exit_differs = exit_status_of(outcome::verify_failed);

// Prints "tessil-cli: <result text>: <subject>: <reason>" on standard error
// (subject and reason only when known) and returns the exit status of
// outcome `code`. A drive that polkit kept closed is reported as
// report_refusal does.
int report_failure(int32_t code, std::string_view subject,
                   platform::Error reason = platform::Error::none);

// Prints "tessil-cli: <drive>: <why polkit refused>: <what to do>" on
// standard error, for a drive that udisks2 was not let open.
void report_refusal(std::string_view drive, platform::Error reason);

// Reports a failed job about what its code concerns: the image file, the
// drive (as drive_text gives it), both, or nothing for a cancel.
int report_job_failure(int32_t code, platform::Error reason, std::string_view drive,
                       std::string_view image);

// Prints "tessil-cli: <message>" on standard error and returns exit_usage.
int refuse(std::string_view message);

}  // namespace tessil::cli
