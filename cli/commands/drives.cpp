// tessil-cli drives [--json]: every drive letter in use and its disk.
#include <memory>

#include "app/drive_facts.h"
#include "command.h"
#include "describe.h"
#include "exit_status.h"
#include "json_output.h"
#include "text_output.h"

namespace tessil::cli {

Command add_drives_command(CLI::App& program) {
  auto json = std::make_shared<bool>(false);
  CLI::App* parser = program.add_subcommand(
      "drives", "List every drive letter in use: device, kind and the disk in it");
  add_json_flag(*parser, *json);
  return {parser, [json] {
            const std::vector<app::DriveFacts> drives = app::look_at_drives();
            if (*json) {
              app::Json list = app::Json::array();
              for (const app::DriveFacts& drive : drives) list.push_back(app::drive_json(drive));
              print_json(app::Json{{"drives", std::move(list)}});
            } else {
              print_drive_table(drives);
            }
            // Such a drive stays closed until someone changes the rules.
            for (const app::DriveFacts& drive : drives)
              if (platform::not_authorised(drive.reason))
                report_refusal(drive_text(drive.letter, drive.device), drive.reason);
            return exit_ok;
          }};
}

}  // namespace tessil::cli
