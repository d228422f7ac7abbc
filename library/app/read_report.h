// The archival report beside every image a read makes, IMAGE.json: how the
// image was made (program, command line, host, user), from which drive and
// disk, when, with what result, which damage and which checksums. Its
// format carries a version number; the manual page lists every field.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/drive_facts.h"
#include "app/file_digest.h"
#include "app/json_facts.h"
#include "job_request.h"
#include "platform/platform.h"

namespace tessil::app {

// Raised when a field changes its meaning or goes away; new fields keep it.
inline constexpr int report_format_version = 1;

struct ReadReport {
  std::string image;
  bool raw = false;  // the image has no header
  std::string label;
  DriveFacts drive;  // the drive and its disk when the read began
  std::optional<platform::UsbIdentity> usb;
  std::string started;  // UTC, ISO 8601
  std::string ended;
  int32_t code = 0;
  // Bad sectors by number, from 0. Known for a rescue, and for a read that
  // went through (none); unknown when a plain read stopped at its first
  // failure.
  std::optional<std::vector<uint64_t>> bad_sectors;
  int retries = 0;
  // The data's checksums as the engine took them while reading, when it did.
  std::optional<Digests> streamed;
  // Read back from the finished file; nothing when it could not be read.
  std::optional<FileDigests> digests;
};

// Remembers the program and its arguments for the reports of this run.
void remember_command_line(int argc, char** argv, std::string tool = "tessil-cli");

// "2026-05-01T10:00:00Z".
std::string utc_now();

// IMAGE.json for IMAGE.
inline std::string report_path_of(const std::string& image) {
  return image + ".json";
}

// A report on a read of `drive` into `image` that begins now.
ReadReport begin_report(const DriveFacts& drive, const std::string& image, const std::string& label,
                        bool raw);

// The engine's checksums of the data as it streamed; nothing when it took
// none.
std::optional<Digests> streamed_digests(const Checksums& sums);

// Ends it now with the job's code and the file's checksums, and returns the
// code it records: a read that was done but whose file holds other data
// than the engine read is recorded as a data mismatch.
int32_t end_report(ReadReport& report, int32_t code);

Json report_json(const ReadReport& report);

// Writes the report durably beside its image. An existing report is only
// replaced when `replace` says so.
platform::Error write_report(const ReadReport& report, bool replace);

// The data's SHA-256 as the report gives it; empty when unknown.
std::string data_sha256(const ReadReport& report);

}  // namespace tessil::app
