// Help pages written for people: each option with the kind of value it
// takes and what it does, wrapped between words at the terminal's width,
// without the parser's own notes (which options need or exclude which,
// value ranges), which the words already say.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>

namespace tessil::cli {

// `text` broken between words into lines of at most `width` columns; every
// line but the first starts with `indent` blanks, and the first has
// `first_used` columns taken already. A word longer than a line stands
// alone on its own.
std::string wrap(std::string_view text, std::size_t width, std::size_t indent,
                 std::size_t first_used = 0);

class HelpFormatter final : public CLI::Formatter {
 public:
  explicit HelpFormatter(std::size_t width);

  std::string make_option(const CLI::Option* option, bool is_positional) const override;
  std::string make_option_opts(const CLI::Option* option) const override;
  std::string make_subcommand(const CLI::App* command) const override;
  std::string make_description(const CLI::App* app) const override;
  std::string make_footer(const CLI::App* app) const override;

 private:
  std::string entry(std::string name, std::string_view words) const;

  std::size_t width_;
};

// The formatter for this run: as wide as the terminal on standard output,
// else $COLUMNS, else 80 columns.
std::shared_ptr<HelpFormatter> help_formatter();

}  // namespace tessil::cli
