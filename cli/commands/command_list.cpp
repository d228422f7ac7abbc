// The commands tessil-cli knows, in the order its help lists them.
#include "command.h"

namespace tessil::cli {

Command add_drives_command(CLI::App& program);
Command add_info_command(CLI::App& program);
Command add_read_command(CLI::App& program);
Command add_write_command(CLI::App& program);
Command add_verify_command(CLI::App& program);
Command add_convert_command(CLI::App& program);
Command add_batch_command(CLI::App& program);
Command add_format_command(CLI::App& program);

std::vector<Command> add_commands(CLI::App& program) {
  return {
      add_drives_command(program), add_info_command(program),   add_read_command(program),
      add_write_command(program),  add_verify_command(program), add_convert_command(program),
      add_batch_command(program),  add_format_command(program),
  };
}

}  // namespace tessil::cli
