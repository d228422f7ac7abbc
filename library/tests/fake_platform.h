// A scripted platform for the library's tests: drives held in memory, with
// faults injected where a test asks for them, and a gate that holds a job at
// a chosen block so a test can act while it runs.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessil::testing {

struct FakeMedium {
  std::vector<std::byte> data;
  platform::DriveGeometry geometry;
  platform::Error query_error = platform::Error::none;  // e.g. no_medium
  platform::Error open_error = platform::Error::none;   // e.g. busy
  std::optional<std::size_t> read_error_at;             // block index whose read fails
  std::optional<std::size_t> write_error_at;            // block index whose write fails
                                                        // (a command touching it, whole)
  // Rescue reads (read_at): a request touching a bad block fails whole, as
  // a direct read does; a block in `failing_reads` fails that many times
  // and then reads. `reads` counts the requests that touched each block.
  std::set<std::size_t> bad_blocks;
  std::map<std::size_t, int> failing_reads;
  std::map<std::size_t, int> reads;
  // Commands the drive was sent, of any size: reads, and writes.
  int read_commands = 0;
  int write_commands = 0;
  bool write_protected = false;
  platform::Error flush_error = platform::Error::none;
  // Formatting: the formats a floppy drive can give its disk (none: not a
  // floppy drive), a track (cylinder * heads + head) whose format command
  // fails, and how many tracks were laid down.
  std::vector<const StandardFormat*> formats;
  std::optional<std::size_t> failing_track;
  int tracks_formatted = 0;
};

// A medium of the given geometry, each byte patterned by its offset.
FakeMedium make_medium(uint32_t cylinders, uint32_t heads, uint32_t sectors,
                       uint32_t bytes_per_sector = 512);

class FakeFormatter;

class FakePlatform final : public platform::Platform {
 public:
  // Installs itself as the library's platform; the destructor waits for any
  // running job and restores the system's own.
  FakePlatform();
  ~FakePlatform() override;
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  // Puts `medium` behind drive letter text `drive` ("A" is \\.\A:).
  void insert(const std::string& drive, FakeMedium medium);
  // A copy of what the medium behind `drive` holds now.
  std::vector<std::byte> contents(const std::string& drive);
  // A copy of the whole medium, with its read counts.
  FakeMedium medium(const std::string& drive);

  // Holds the job before it moves block `index` (read or write) until
  // release() is called; wait_until_held() returns once the job is waiting.
  void hold_at_block(std::size_t index);
  bool wait_until_held(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  void release();
  // Holds the next geometry query the same way.
  static constexpr std::size_t geometry_query = SIZE_MAX;
  // Holds a format before it lays down track `index` the same way.
  static constexpr std::size_t format_track(std::size_t index) { return SIZE_MAX - 1 - index; }

  void fail_thread_creation(bool fail) { fail_threads_ = fail; }
  // Image files are real files; these make their writes or their final
  // flush fail as a full or failing file system would.
  void fail_image_sync(bool fail) { fail_sync_ = fail; }
  void fill_image_file_system_after(std::size_t bytes) { image_room_ = bytes; }
  // Makes `path` the file that stands behind `drive`.
  void place_drive_at(const std::string& drive, const std::string& path);
  void set_version(std::optional<platform::VersionInfo> version) { version_ = version; }

  // Waits until every thread this platform started has ended.
  bool wait_for_threads(std::chrono::milliseconds timeout = std::chrono::seconds(20));

  int drive_opens() const;
  int verify_opens() const;
  // What the last drive open asked for.
  std::optional<platform::DriveAccess> last_access() const;
  int geometry_queries() const;
  std::vector<std::string> debug_lines() const;

  // Platform
  bool probe_file(const char* path) override;
  bool is_drive(std::string_view device_path, const char* path) override;
  platform::Error query_geometry(std::string_view device_path,
                                 platform::DriveGeometry& out) override;
  using Platform::open_drive;
  std::unique_ptr<platform::Drive> open_drive(std::string_view device_path,
                                              platform::DriveAccess access,
                                              platform::Error& error) override;
  std::unique_ptr<platform::Drive> open_drive_to_verify(std::string_view device_path,
                                                        platform::Error& error) override;
  std::unique_ptr<platform::ImageFile> open_image(const char* path, platform::ImageMode mode,
                                                  platform::Error& error) override;
  platform::Error replace_file(const char* path, std::string_view content, bool replace) override;
  // The files a command makes are the system's own.
  std::string temporary_name_beside(const char* path) override {
    return platform::system().temporary_name_beside(path);
  }
  platform::Error publish(const char* from, const char* to, bool replace) override {
    return platform::system().publish(from, to, replace);
  }
  platform::Error remove_file(const char* path) override {
    return platform::system().remove_file(path);
  }
  std::optional<platform::FileIdentity> identity_of(const char* path) override {
    return platform::system().identity_of(path);
  }
  std::unique_ptr<platform::DiskFormatter> open_to_format(std::string_view device_path,
                                                          platform::Error& error) override;
  std::vector<const StandardFormat*> formats_of(std::string_view device_path) override;
  std::vector<platform::DriveEntry> list_drives() override;
  std::string device_of(std::string_view device_path) override;
  std::optional<platform::VersionInfo> version() override { return version_; }
  void debug_output(std::string_view line) override;
  bool start_thread(std::function<void()> body) override;

 private:
  class FakeDrive;
  friend class FakeDrive;
  friend class FakeFormatter;

  // Called by a drive before it moves block `index`.
  void gate(std::size_t index);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, FakeMedium> media_;  // by device path
  std::optional<std::size_t> hold_at_;
  bool holding_ = false;
  int opens_ = 0;
  int verify_opens_ = 0;
  std::optional<platform::DriveAccess> last_access_;
  int live_threads_ = 0;
  int queries_ = 0;
  std::vector<std::string> debug_;
  std::map<std::string, std::string> drive_files_;  // device path -> file
  bool fail_threads_ = false;
  std::atomic<bool> fail_sync_ = false;
  std::atomic<std::size_t> image_room_ = SIZE_MAX;
  std::optional<platform::VersionInfo> version_ = platform::VersionInfo{2, 6, 1};
};

// Waits until no job runs; false after the timeout.
bool wait_idle(std::chrono::milliseconds timeout = std::chrono::seconds(20));

// A fresh empty directory for a test's files, removed afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string path(const std::string& name) const { return root_ + "/" + name; }

 private:
  std::string root_;
};

std::vector<std::byte> read_file(const std::string& path);
void write_file(const std::string& path, const std::vector<std::byte>& bytes);

// The first line a shell command prints, or empty when it fails.
std::string run_command(const std::string& command);

}  // namespace tessil::testing
