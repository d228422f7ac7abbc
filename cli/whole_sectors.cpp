#include "whole_sectors.h"

#include <cstdint>
#include <filesystem>
#include <string>

#include "app/drive_facts.h"
#include "describe.h"
#include "exit_status.h"
#include "geometry.h"
#include "outcomes.h"
#include "tessil.h"

namespace tessil::cli {

int refuse_partial_sectors(char letter) {
  const std::string device = app::device_of(letter);
  std::error_code error;
  // Only a plain file can end within a sector; a device never does.
  if (device.empty() || !std::filesystem::is_regular_file(device, error)) return exit_ok;
  const uint64_t size = std::filesystem::file_size(device, error);
  // A file drive's sectors are of 512 bytes: only a file that does not end
  // on one is asked about, so a drive held for the command is asked once.
  if (!error && size > 0 && size % TESSIL_BLOCK_SIZE == 0) return exit_ok;
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
