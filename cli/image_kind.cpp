#include "image_kind.h"

#include "standard_formats.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace tessil::cli {

namespace {

bool ends_with_folded(const std::string& name, std::string_view ending) {
  if (name.size() < ending.size()) return false;
  return std::equal(
      ending.begin(), ending.end(), name.end() - std::ptrdiff_t(ending.size()),
      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

}  // namespace

void add_kind_flags(CLI::App& command, KindFlags& flags, const std::string& what) {
  CLI::Option* raw = command.add_flag(
      "--raw", flags.raw,
      what +
          " a raw image (the disk's sectors alone, without a header or label) whatever its "
          "name; .img, .ima, .vfd and .flp are raw by their name");
  CLI::Option* tessil = command.add_flag(
      "--tessil", flags.tessil, what + " a tessil image (a header with a label) whatever its name");
  raw->excludes(tessil);
}

bool raw_by_name(const std::string& name) {
  return raw_image_name(name);
}

std::optional<std::string> raw_label_refusal(const std::string& image, bool raw,
                                             const KindFlags& flags, const std::string& label) {
  if (!raw || label.empty()) return std::nullopt;
  if (flags.raw) return "a raw image has no label; give --label without --raw";
  return image + " is a raw image by its name, and a raw image has no label; give --tessil to " +
         "keep the label in a tessil image, or no --label";
}

bool tessil_by_name(const std::string& name) {
  return ends_with_folded(name, ".tsl");
}

}  // namespace tessil::cli
