// The words for a job's result code, shared by the window and the
// command-line program so that both say the same thing.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tessil {

struct ResultText {
  int32_t code;
  std::string_view text;
};

inline constexpr std::array<ResultText, 12> result_texts{{
    {0, "Done"},
    {100, "No disk in drive"},
    {101, "Unable to open image file to write"},
    {102, "Unable to write to file"},
    {103, "Unable to open floppy to read"},
    {104, "Floppy disk is damaged"},
    {105, "User cancelled"},
    {106, "Unable to open image file to read"},
    {107, "Unable to read from file"},
    {108, "Image file and floppy don't match"},
    {109, "Unable to write to floppy, possible damaged"},
    {110, "Unable to write the image in the floppy"},
}};

// The code shown for a code the library is not known to return.
inline constexpr int32_t unexpected_result_code = 255;
inline constexpr std::string_view unexpected_result_text = "Unexpected error";

// The text of `code`, or the unexpected one.
constexpr std::string_view result_text(int32_t code) {
  for (const ResultText& row : result_texts)
    if (row.code == code) return row.text;
  return unexpected_result_text;
}

}  // namespace tessil
