#include "app/drive_facts.h"

namespace tessil::app {

namespace {

std::string letter_text(char letter) {
  return std::string(1, letter);
}

// The geometry query for a letter whose device and kind are already known.
void query(DriveFacts& facts, platform::DriveSession* session = nullptr) {
  std::string device_path;
  facts.has_disk = query_drive(platform::current(), letter_text(facts.letter).c_str(), facts.info,
                               device_path, &facts.reason, session) != 0;
  if (facts.has_disk) facts.reason = platform::Error::none;
  facts.formats = drive_formats(facts.letter);
}

}  // namespace

std::string device_of(char letter) {
  return platform::current().device_of(device_path_of(letter_text(letter).c_str()));
}

bool is_drive_file(char letter, const std::string& path) {
  return platform::current().is_drive(device_path_of(letter_text(letter).c_str()), path.c_str());
}

std::unique_ptr<platform::Drive> open_drive(char letter, platform::DriveAccess access,
                                            platform::Error& error,
                                            platform::DriveSession* session) {
  if (session) return session->open_drive(access, error);
  return platform::current().open_drive(device_path_of(letter_text(letter).c_str()), access, error);
}

std::unique_ptr<platform::Drive> open_drive_to_verify(char letter, platform::Error& error,
                                                      platform::DriveSession* session) {
  if (session) return session->open_drive_to_verify(error);
  return platform::current().open_drive_to_verify(device_path_of(letter_text(letter).c_str()),
                                                  error);
}

std::unique_ptr<platform::DiskFormatter> open_to_format(char letter, platform::Error& error,
                                                        platform::DriveSession* session) {
  if (session) return session->open_to_format(error);
  return platform::current().open_to_format(device_path_of(letter_text(letter).c_str()), error);
}

std::vector<const StandardFormat*> drive_formats(char letter) {
  return platform::current().formats_of(device_path_of(letter_text(letter).c_str()));
}

std::unique_ptr<platform::DriveSession> hold_drive(char letter, platform::DriveAccess widest) {
  return platform::current().hold_drive(device_path_of(letter_text(letter).c_str()), widest);
}

std::optional<char> drive_letter(std::string_view text) {
  if (text.size() == 2 && text[1] == ':') text.remove_suffix(1);
  if (text.size() != 1) return std::nullopt;
  const char c = text[0];
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'Z') return c;
  return std::nullopt;
}

DriveFacts look_at_drive(char letter, platform::DriveSession* session) {
  platform::Platform& os = platform::current();
  DriveFacts facts;
  facts.letter = letter;
  facts.device = device_of(letter);
  // The kind comes from the list of letters in use; a controller drive that
  // only its device node reveals is not on it.
  for (const platform::DriveEntry& entry : os.list_drives())
    if (entry.letter == letter) facts.kind = entry.kind;
  if (facts.device.empty()) {
    facts.reason = platform::Error::not_found;
    return facts;
  }
  query(facts, session);
  return facts;
}

const StandardFormat* disk_format(const DriveFacts& drive) {
  if (!drive.has_disk || drive.info.cylinders < 0 || drive.info.tracks_per_cylinder < 0 ||
      drive.info.sectors_per_track < 0 || drive.info.bytes_per_sector < 0)
    return nullptr;
  return standard_format_of(static_cast<uint32_t>(drive.info.cylinders),
                            static_cast<uint32_t>(drive.info.tracks_per_cylinder),
                            static_cast<uint32_t>(drive.info.sectors_per_track),
                            static_cast<uint32_t>(drive.info.bytes_per_sector));
}

std::vector<DriveFacts> look_at_drives() {
  std::vector<DriveFacts> drives;
  for (platform::DriveEntry& entry : platform::current().list_drives()) {
    DriveFacts facts;
    facts.letter = entry.letter;
    facts.device = std::move(entry.device);
    facts.kind = entry.kind;
    query(facts);
    drives.push_back(std::move(facts));
  }
  return drives;
}

}  // namespace tessil::app
