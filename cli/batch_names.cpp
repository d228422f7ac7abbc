#include "batch_names.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/read_report.h"

namespace tessil::cli {

namespace {

bool taken(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

}  // namespace

std::string NamePattern::name(long long number) const {
  char digits[32];
  std::snprintf(digits, sizeof digits, zeros ? "%0*lld" : "%*lld", width, number);
  return before + digits + after;
}

std::optional<NamePattern> parse_pattern(const std::string& text, std::string& problem) {
  NamePattern pattern;
  bool counted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::string& part = counted ? pattern.after : pattern.before;
    if (text[i] != '%') {
      part += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '%') {
      part += '%';
      ++i;
      continue;
    }
    std::size_t at = i + 1;
    const bool zeros = at < text.size() && text[at] == '0';
    int width = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && width < 100; ++at)
      width = width * 10 + (text[at] - '0');
    if (at >= text.size() || text[at] != 'd' || width > 20) {
      problem = "PATTERN may hold only %d, %3d or %03d (and %% for a percent sign)";
      return std::nullopt;
    }
    if (counted) {
      problem = "PATTERN holds more than one counter";
      return std::nullopt;
    }
    counted = true;
    pattern.zeros = zeros;
    pattern.width = width;
    i = at;
  }
  if (!counted) problem = "PATTERN needs a counter such as %03d, e.g. box3/disk-%03d";
  if (counted && pattern.after.find('/') != std::string::npos)
    problem = "PATTERN's counter belongs in the file's name, not in a folder's";
  if (!problem.empty()) return std::nullopt;
  return pattern;
}

std::optional<std::string> claim_name(const NamePattern& pattern, const std::string& extension,
                                      long long& number, platform::Error& reason) {
  for (;; ++number) {
    const std::string image = pattern.name(number) + extension;
    if (taken(image) || taken(app::report_path_of(image)) || taken(image + ".map")) continue;
    // A new name only, never a link: the claim fails where another got there first.
    platform::Error error = platform::Error::none;
    const std::unique_ptr<platform::ImageFile> file =
        platform::current().open_image(image.c_str(), platform::ImageMode::create_new, error);
    if (!file && error == platform::Error::exists) continue;
    if (file) error = file->finish();  // the folder keeps the new name
    if (error == platform::Error::none) return image;
    reason = error;
    return std::nullopt;
  }
}

}  // namespace tessil::cli
