#include "app/format_names.h"

#include <cctype>

namespace tessil::app {

std::string folded_format_name(std::string_view name) {
  std::string folded;
  for (const char c : name)
    if (c != ' ') folded += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (folded.ends_with('B')) folded.pop_back();
  return folded;
}

const StandardFormat* format_named(std::string_view name) {
  const std::string folded = folded_format_name(name);
  for (const StandardFormat& format : standard_formats)
    if (folded_format_name(format.name) == folded || std::to_string(format.size / 1024) == folded)
      return &format;
  return nullptr;
}

std::string format_names() {
  std::string names;
  for (const StandardFormat& format : standard_formats)
    names += (names.empty() ? "" : " ") + folded_format_name(format.name);
  return names;
}

}  // namespace tessil::app
