#include "format/empty_fat.h"

namespace tessil::format {

std::optional<std::string> fat_label_problem(std::string_view label) {
  (void)label;
  return std::string("not built yet");
}

std::vector<std::byte> empty_fat12(const StandardFormat& format, std::string_view label) {
  (void)format, (void)label;
  return {};
}

}  // namespace tessil::format
