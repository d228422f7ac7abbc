// tessil-cli: the command-line program. It parses the command line, runs
// the chosen command and exits with its status.
#include <cstdio>
#include <exception>
#include <vector>

#include "command.h"
#include "exit_status.h"
#include "outcomes.h"
#include "read_report.h"

int main(int argc, char** argv) {
  using namespace tessil::cli;
  remember_command_line(argc, argv);
  CLI::App program("Copies whole floppy disks into image files and back.", "tessil-cli");
  program.set_help_flag("-h,--help", "Print this help and exit");
  program.set_version_flag("--version", "tessil-cli " TESSIL_VERSION, "Print the version and exit");
  program.require_subcommand(1);
  // Plain words in the help: commands and arguments, no type names.
  program.get_formatter()->label("SUBCOMMAND", "COMMAND");
  program.get_formatter()->label("Positionals", "Arguments");
  program.get_formatter()->label("REQUIRED", "");
  program.get_formatter()->column_width(24);
  program.failure_message([](const CLI::App*, const CLI::Error& error) {
    return "tessil-cli: " + std::string(error.what()) + "\nRun 'tessil-cli --help' for more.\n";
  });
  program.footer(
      "Exit status: 0 done, 2 bad usage or refused, 3 the disk differs from the image, 4 a "
      "rescue left sectors missing, 100-110 the job's result code.");
  const std::vector<Command> commands{
      add_drives_command(program), add_info_command(program),   add_read_command(program),
      add_write_command(program),  add_verify_command(program), add_convert_command(program),
      add_batch_command(program),
  };
  for (const Command& command : commands) command.parser->group("Commands");

  try {
    program.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // The parser's own codes collide with the jobs'; any usage error is 2.
    return program.exit(error) == 0 ? exit_ok : exit_usage;
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
