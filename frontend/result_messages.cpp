#include "result_messages.h"

#include <array>
#include <utility>

namespace {

constexpr int32_t unexpected_code = 255;

constexpr std::array<std::pair<int32_t, const char*>, 12> table{{
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

}  // namespace

ResultMessage resultMessage(int32_t result_code) {
  for (const auto& [code, text] : table) {
    if (code == result_code) return {code, QString::fromLatin1(text)};
  }
  return {unexpected_code, QStringLiteral("Unexpected error")};
}
