#include "command.h"

#include "app/drive_facts.h"
#include "tessil.h"

namespace tessil::cli {

CLI::Option* add_drive_argument(CLI::App& command, std::string& drive) {
  const CLI::Validator letter(
      [](std::string& text) -> std::string {
        return app::drive_letter(text) ? std::string() : "'" + text + "' is not a drive letter";
      },
      "");
  return command.add_option("DRIVE", drive, "Drive letter: A, B, ... (either case)")
      ->type_name("")
      ->required()
      ->check(letter);
}

CLI::Option* add_progress_flag(CLI::App& command, bool& progress) {
  return command.add_flag("--progress", progress,
                          "Plain progress lines on standard error when it is not a terminal");
}

CLI::Validator label_fits() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        return text.size() < TESSIL_TEXT_SIZE ? std::string() : "a label holds at most 299 bytes";
      },
      "");
}

CLI::Option* add_json_flag(CLI::App& command, bool& json) {
  return command.add_flag("--json", json, "Print one JSON document, for scripts");
}

}  // namespace tessil::cli
