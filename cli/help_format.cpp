#include "help_format.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "platform/platform.h"

namespace tessil::cli {

namespace {

constexpr std::size_t name_column = 24;
// Narrower than this, the words would be a column of fragments.
constexpr std::size_t narrowest = 40;

}  // namespace

std::string wrap(std::string_view text, std::size_t width, std::size_t indent,
                 std::size_t first_used) {
  std::string out;
  std::size_t used = first_used;
  bool line_empty = true;
  while (!text.empty()) {
    if (text.front() == '\n') {
      out += '\n' + std::string(indent, ' ');
      used = indent;
      line_empty = true;
      text.remove_prefix(1);
      continue;
    }
    if (text.front() == ' ') {
      text.remove_prefix(1);
      continue;
    }
    const std::size_t end = std::min(text.find_first_of(" \n"), text.size());
    const std::string_view word = text.substr(0, end);
    if (!line_empty && used + 1 + word.size() > width) {
      out += '\n' + std::string(indent, ' ');
      used = indent;
      line_empty = true;
    }
    if (!line_empty) {
      out += ' ';
      ++used;
    }
    out += word;
    used += word.size();
    line_empty = false;
    text.remove_prefix(end);
  }
  return out;
}

HelpFormatter::HelpFormatter(std::size_t width) : width_(std::max(width, narrowest)) {
  column_width(name_column);
}

std::string HelpFormatter::entry(std::string name, std::string_view words) const {
  std::string out = "  " + name;
  if (!words.empty()) {
    if (out.size() + 1 >= name_column) {
      out += '\n' + std::string(name_column, ' ');
    } else {
      out.resize(name_column, ' ');
    }
    out += wrap(words, width_, name_column, name_column);
  }
  return out + '\n';
}

std::string HelpFormatter::make_option(const CLI::Option* option, bool is_positional) const {
  return entry(make_option_name(option, is_positional) + make_option_opts(option),
               make_option_desc(option));
}

std::string HelpFormatter::make_option_opts(const CLI::Option* option) const {
  if (option->get_type_size() == 0) return {};
  // The kind of value alone: a validator's description follows a colon.
  std::string type = option->get_type_name();
  type = type.substr(0, type.find(':'));
  return type.empty() ? std::string() : " " + type;
}

std::string HelpFormatter::make_subcommand(const CLI::App* command) const {
  return entry(command->get_display_name(true), command->get_description());
}

std::string HelpFormatter::make_description(const CLI::App* app) const {
  const std::string description = app->get_description();
  return description.empty() ? std::string() : wrap(description, width_, 0) + '\n';
}

std::string HelpFormatter::make_footer(const CLI::App* app) const {
  const std::string footer = app->get_footer();
  return footer.empty() ? std::string() : wrap(footer, width_, 0) + '\n';
}

std::shared_ptr<HelpFormatter> help_formatter() {
  std::size_t width = 80;
  if (const std::optional<int> columns =
          platform::current().terminal_width(platform::StandardStream::output)) {
    width = static_cast<std::size_t>(*columns);
  } else if (const char* text = std::getenv("COLUMNS")) {
    std::size_t value = 0;
    const char* end = text + std::char_traits<char>::length(text);
    if (const auto [stop, error] = std::from_chars(text, end, value);
        error == std::errc{} && stop == end && value > 0)
      width = value;
  }
  return std::make_shared<HelpFormatter>(width);
}

}  // namespace tessil::cli
