// The commands of tessil-cli. Each lives in a file of its own under
// commands/: it adds its parser to the program's and says what runs when
// the command line chose it. Adding a command is adding such a file and its
// line in commands/command_list.cpp.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace tessil::cli {

struct Command {
  CLI::App* parser = nullptr;
  std::function<int()> run;  // returns the exit status
};

// Every command, added to `program` in the order the help lists them.
std::vector<Command> add_commands(CLI::App& program);

// Options that several commands share.

// A DRIVE argument: one letter, either case, optionally with a colon.
CLI::Option* add_drive_argument(CLI::App& command, std::string& drive);

// --progress: plain progress lines when standard error is not a terminal.
CLI::Option* add_progress_flag(CLI::App& command, bool& progress);

// -l/--label TEXT: the label of a tessil image, refused (a usage error)
// beyond the 299 bytes a header holds.
// `label` is a std::string or a std::optional of one.
CLI::Validator label_fits();
template <typename Label>
CLI::Option* add_label_option(CLI::App& command, Label& label, const std::string& what) {
  return command.add_option("-l,--label", label, what + " (at most 299 bytes)")
      ->type_name("TEXT")
      ->check(label_fits());
}

// --json: one JSON document instead of text.
CLI::Option* add_json_flag(CLI::App& command, bool& json);

}  // namespace tessil::cli
