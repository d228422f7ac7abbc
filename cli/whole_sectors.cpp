#include "whole_sectors.h"

#include <cstdint>
#include <filesystem>
#include <string>

#include "app/drive_facts.h"
#include "describe.h"
#include "exit_status.h"
#include "geometry.h"
#include "outcomes.h"

namespace tessil::cli {

int refuse_partial_sectors(char letter) {
  const std::string device =
      platform::current().device_of(device_path_of(std::string(1, letter).c_str()));
  std::error_code error;
  // Only a plain file can end within a sector; a device never does.
  if (device.empty() || !std::filesystem::is_regular_file(device, error)) return exit_ok;
  const uint64_t size = std::filesystem::file_size(device, error);
  const app::DriveFacts drive = app::look_at_drive(letter);
  const uint64_t sector = uint64_t(drive.info.bytes_per_sector);
  if (error || !drive.has_disk || sector == 0 || (size > 0 && size % sector == 0)) return exit_ok;
  const std::string bytes = std::to_string(size) + " bytes";
  const std::string sector_words = std::to_string(sector) + "-byte sector";
  return report_failure(outcome::no_whole_sectors,
                        drive_text(letter, device) + ": its file of " + bytes +
                            (size < sector ? " holds not one whole " + sector_words
                                           : " is not a whole number of " + sector_words + "s"));
}

}  // namespace tessil::cli
