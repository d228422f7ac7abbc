// Every outcome that the window or the command-line program reports, in one
// table: its number, its name, its words and the command line's exit
// status. The library's own result codes (0 and 100-110) keep their words;
// the numbers above 110 are the programs' own, so no number means two
// things. Header-only: the window reads it without linking the engine.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tessil {

struct Outcome {
  int32_t number;
  std::string_view name;
  std::string_view words;
  int exit_status;
};

namespace outcome {
inline constexpr int32_t done = 0;
inline constexpr int32_t usage = 2;  // bad usage, or a refusal to go on
inline constexpr int32_t verify_failed = 111;
inline constexpr int32_t sectors_missing = 112;
inline constexpr int32_t map_unusable = 113;
inline constexpr int32_t map_not_written = 114;
inline constexpr int32_t report_not_written = 115;
inline constexpr int32_t log_not_written = 116;
inline constexpr int32_t data_mismatch = 117;
inline constexpr int32_t no_whole_sectors = 118;
inline constexpr int32_t unexpected = 255;
}  // namespace outcome

inline constexpr std::array<Outcome, 22> outcomes{{
    {0, "done", "Done", 0},
    {2, "usage", "Refused", 2},
    {100, "no_disk", "No disk in drive", 100},
    {101, "image_create_failed", "Unable to open image file to write", 101},
    {102, "image_write_failed", "Unable to write to file", 102},
    {103, "drive_open_failed", "Unable to open floppy to read", 103},
    {104, "disk_damaged", "Floppy disk is damaged", 104},
    {105, "cancelled", "User cancelled", 105},
    {106, "image_open_failed", "Unable to open image file to read", 106},
    {107, "image_read_failed", "Unable to read from file", 107},
    {108, "geometry_mismatch", "Image file and floppy don't match", 108},
    {109, "disk_write_failed", "Unable to write to floppy, possible damaged", 109},
    {110, "disk_flush_failed", "Unable to write the image in the floppy", 110},
    {111, "verify_failed", "Verify failed", 3},
    {112, "sectors_missing", "Sectors are still missing", 4},
    {113, "map_unusable", "Unable to use the map file", 113},
    {114, "map_not_written", "Unable to write the map file", 114},
    {115, "report_not_written", "Unable to write the report", 115},
    {116, "log_not_written", "Unable to write the log", 116},
    {117, "data_mismatch", "The image file holds other data than were read", 117},
    {118, "no_whole_sectors", "The disk has no whole sectors", 118},
    {255, "unexpected", "Unexpected error", 255},
}};

// True for the codes that a job of the library itself returns.
constexpr bool library_result(int32_t number) {
  return number == outcome::done || (number >= 100 && number <= 110);
}

// The outcome numbered `number`, or the unexpected one.
constexpr const Outcome& outcome_of(int32_t number) {
  for (const Outcome& row : outcomes)
    if (row.number == number) return row;
  return outcomes.back();
}

// The words of `number`, or the unexpected one's.
constexpr std::string_view result_text(int32_t number) {
  return outcome_of(number).words;
}

// The exit status of the command line for `number`.
constexpr int exit_status_of(int32_t number) {
  return outcome_of(number).exit_status;
}

// The code shown for a code the library is not known to return.
inline constexpr int32_t unexpected_result_code = outcome::unexpected;
inline constexpr std::string_view unexpected_result_text = outcome_of(outcome::unexpected).words;

}  // namespace tessil
