// tessil-cli: the command-line program. It parses the command line, runs
// the chosen command and exits with its status.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

#include "app/read_report.h"
#include "command.h"
#include "describe.h"
#include "exit_status.h"
#include "help_format.h"
#include "outcomes.h"

namespace {

// How many single-character edits turn `a` into `b`.
std::size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1] ? 1 : 0)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The first word that is not an option, when it names no command: said in
// words with the nearest command, instead of the parser's "A subcommand is
// required".
std::optional<std::string> unknown_command(int argc, char** argv, const CLI::App& program) {
  if (argc < 2 || std::string_view(argv[1]).starts_with('-')) return std::nullopt;
  const std::string word = argv[1];
  std::string nearest;
  std::size_t best = SIZE_MAX;
  for (const CLI::App* command : program.get_subcommands({})) {
    if (command->get_name() == word) return std::nullopt;
    if (const std::size_t d = edit_distance(word, command->get_name()); d < best) {
      best = d;
      nearest = command->get_name();
    }
  }
  std::string text = "tessil-cli: '" + tessil::cli::printable(word) + "' is not a command";
  if (best <= 2) text += "; did you mean '" + nearest + "'?";
  return text + "\nRun 'tessil-cli --help' for the commands.\n";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tessil::cli;
  tessil::app::remember_command_line(argc, argv);
  CLI::App program("Copies whole floppy disks into image files and back.", "tessil-cli");
  program.set_help_flag("-h,--help", "Print this help and exit");
  program.set_version_flag("--version", "tessil-cli " TESSIL_VERSION, "Print the version and exit");
  program.require_subcommand(1);
  // Plain words in the help: commands and arguments, no type names.
  program.formatter(help_formatter());
  program.get_formatter()->label("SUBCOMMAND", "COMMAND");
  program.get_formatter()->label("Positionals", "Arguments");
  program.get_formatter()->label("REQUIRED", "");
  program.failure_message([](const CLI::App*, const CLI::Error& error) {
    return "tessil-cli: " + std::string(error.what()) + "\nRun 'tessil-cli --help' for more.\n";
  });
  program.footer(
      "Exit status: 0 done, 2 bad usage or refused, 3 the disk differs from the image, 4 a "
      "rescue left sectors missing, 100-118 the result's code (see tessil-cli(1)), 255 an "
      "unexpected error.");
  const std::vector<Command> commands = add_commands(program);
  for (const Command& command : commands) command.parser->group("Commands");

  if (const std::optional<std::string> unknown = unknown_command(argc, argv, program)) {
    std::fputs(unknown->c_str(), stderr);
    return exit_usage;
  }
  try {
    program.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // The parser's own codes collide with the jobs'; any usage error is 2.
    const int status = program.exit(error) == 0 ? exit_ok : exit_usage;
    // Help or a version that never arrived is no success either.
    if (status == exit_ok && !std::cout.flush()) return tessil::unexpected_result_code;
    return status;
  }
  int status = exit_usage;
  try {
    for (const Command& command : commands)
      if (command.parser->parsed()) status = command.run();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tessil-cli: %s: %s\n",
                 std::string(tessil::unexpected_result_text).c_str(), error.what());
    return tessil::unexpected_result_code;
  }
  // A result or a JSON document that never arrived is no success.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "tessil-cli: %s: standard output could not be written\n",
                 std::string(tessil::unexpected_result_text).c_str());
    if (status == exit_ok) status = tessil::unexpected_result_code;
  }
  return status;
}
