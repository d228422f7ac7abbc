// The drive geometry query: what the medium in a drive looks like, and the
// raw device path through which the jobs open that drive.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "tessil.h"

namespace tessil {

// The five values handed out, as 32-bit integers, and the whole truth
// behind them for the engine's own use.
struct DriveInfo {
  int32_t cylinders = 0;
  int32_t tracks_per_cylinder = 0;
  int32_t sectors_per_track = 0;
  int32_t bytes_per_sector = 0;
  int32_t total_size = 0;  // low 32 bits of the size in bytes
  uint64_t size = 0;       // the size in bytes
  uint32_t media_type = 0;
};

// An image header carrying the drive's four geometry values and no label.
ImageHeader header_of(const DriveInfo& info);

// \\.\ followed by the drive text and a colon; empty when the drive text is
// too long for the query's paths (more than 289 characters).
std::string device_path_of(const char* drive);

// Fills `geometry` from the drive and returns 1, or returns 0 when the device
// cannot be opened or has no medium. Hands the device path back in
// `device_path` for the caller to open. Asks through `session` when the
// caller holds the drive. Prints nothing.
int32_t querygeometry(platform::Platform& os, platform::DriveGeometry& geometry, const char* drive,
                      std::string& device_path, platform::Error* error = nullptr,
                      platform::DriveSession* session = nullptr);

// The engine's query of a drive: 1 with `info` filled, or 0 with `info` all
// zero and the reason in `error`. Prints nothing.
int32_t query_drive(platform::Platform& os, const char* drive, DriveInfo& info,
                    std::string& device_path, platform::Error* error = nullptr,
                    platform::DriveSession* session = nullptr);

// The lines getdriveinfo prints on standard output: those before the drive
// answers (they probe the drive's root for a file), and those of an answer.
void print_query_start(platform::Platform& os, const char* drive);
void print_query_answer(const DriveInfo& info);

}  // namespace tessil
