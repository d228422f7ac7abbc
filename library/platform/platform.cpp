#include "platform/platform.h"

#include <atomic>
#include <filesystem>

namespace tessil::platform {

namespace {

std::atomic<Platform*> substitute_platform{nullptr};

// Every step opens the drive anew, as it would alone.
class OpenEachTime final : public DriveSession {
 public:
  OpenEachTime(Platform& os, std::string_view device_path) : os_(os), path_(device_path) {}
  Error query_geometry(DriveGeometry& out) override { return os_.query_geometry(path_, out); }
  std::unique_ptr<Drive> open_drive(DriveAccess access, Error& error) override {
    return os_.open_drive(path_, access, error);
  }
  std::unique_ptr<Drive> open_drive_to_verify(Error& error) override {
    return os_.open_drive_to_verify(path_, error);
  }
  std::unique_ptr<DiskFormatter> open_to_format(Error& error) override {
    return os_.open_to_format(path_, error);
  }

 private:
  Platform& os_;
  std::string path_;
};

}  // namespace

std::unique_ptr<DriveSession> Platform::hold_drive(std::string_view device_path, DriveAccess) {
  return std::make_unique<OpenEachTime>(*this, device_path);
}

Platform& current() {
  Platform* fake = substitute_platform.load(std::memory_order_acquire);
  return fake ? *fake : system();
}

bool same_file(const std::string& a, const std::string& b) {
  Platform& os = current();
  const std::optional<FileIdentity> first = os.identity_of(a.c_str());
  const std::optional<FileIdentity> second = os.identity_of(b.c_str());
  if (first && second) return *first == *second;
  if (first || second) return false;
  // Neither exists yet: the same name once links and ".." are resolved.
  std::error_code error;
  const std::filesystem::path x =
      std::filesystem::weakly_canonical(std::filesystem::absolute(a), error);
  const std::filesystem::path y =
      std::filesystem::weakly_canonical(std::filesystem::absolute(b), error);
  return !error && x == y;
}

void substitute(Platform* fake) {
  substitute_platform.store(fake, std::memory_order_release);
}

}  // namespace tessil::platform
