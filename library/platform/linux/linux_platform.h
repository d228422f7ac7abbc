// The platform layer on Linux.
#pragma once

#include <optional>
#include <string_view>

#include "platform/platform.h"

namespace tessil::platform::linux_os {

class LinuxPlatform final : public Platform {
 public:
  bool probe_file(const char* path) override;
  bool is_drive(std::string_view device_path, const char* path) override;
  Error query_geometry(std::string_view device_path, DriveGeometry& out) override;
  using Platform::open_drive;
  std::unique_ptr<Drive> open_drive(std::string_view device_path, DriveAccess access,
                                    Error& error) override;
  std::unique_ptr<Drive> open_drive_to_verify(std::string_view device_path, Error& error) override;
  std::unique_ptr<DiskFormatter> open_to_format(std::string_view device_path,
                                                Error& error) override;
  std::vector<const StandardFormat*> formats_of(std::string_view device_path) override;
  std::unique_ptr<DriveSession> hold_drive(std::string_view device_path,
                                           DriveAccess widest) override;
  std::unique_ptr<ImageFile> open_image(const char* path, ImageMode mode, Error& error) override;
  // file_names.cpp
  Error replace_file(const char* path, std::string_view content, bool replace) override;
  std::string temporary_name_beside(const char* path) override;
  Error publish(const char* from, const char* to, bool replace) override;
  Error remove_file(const char* path) override;
  std::optional<FileIdentity> identity_of(const char* path) override;
  Error append_line(const char* path, std::string_view heading, std::string_view line) override;
  bool backs_a_device(const char* path) override;
  std::vector<DriveEntry> list_drives() override;
  std::string device_of(std::string_view device_path) override;
  std::optional<VersionInfo> version() override;
  void debug_output(std::string_view line) override;
  bool start_thread(std::function<void()> body) override;
  Error sync_folder_of(const char* path) override;  // file_names.cpp
  // standard_streams.cpp
  InputWait wait_for_input(std::chrono::milliseconds timeout, bool watch_input) override;
  bool is_terminal(StandardStream stream) override;
  std::optional<int> terminal_width(StandardStream stream) override;
  bool route_standard_output_to_debug() override;
  // process_facts.cpp
  std::string host_name() override;
  std::string user_name() override;
  std::string utc_now() override;
  std::optional<UsbIdentity> usb_identity_of(const char* node) override;  // usb_identity.cpp
  // termination_watch.cpp
  std::unique_ptr<TerminationWatch> watch_termination(WhenIgnored ignored) override;
};

// The version record for a kernel release such as "6.1.0-18-amd64": the NT
// family's platform id with the kernel's major and minor numbers.
std::optional<VersionInfo> version_of_release(std::string_view release);

}  // namespace tessil::platform::linux_os
