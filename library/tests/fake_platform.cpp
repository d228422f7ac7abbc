#include "fake_platform.h"

#include <unistd.h>
#include <cstdio>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "fake_formatter.h"
#include "tessil.h"

namespace tessil::testing {

namespace {
std::string device_path(const std::string& drive) {
  return "\\\\.\\" + drive + ":";
}
constexpr std::size_t block = TESSIL_BLOCK_SIZE;
}  // namespace

FakeMedium make_medium(uint32_t cylinders, uint32_t heads, uint32_t sectors,
                       uint32_t bytes_per_sector) {
  FakeMedium medium;
  medium.geometry = {cylinders, 2, heads, sectors, bytes_per_sector};
  medium.data.resize(std::size_t{cylinders} * heads * sectors * bytes_per_sector);
  for (std::size_t i = 0; i < medium.data.size(); ++i)
    medium.data[i] = static_cast<std::byte>((i * 7 + i / block) & 0xFF);
  return medium;
}

class FakePlatform::FakeDrive final : public platform::Drive {
 public:
  FakeDrive(FakePlatform& owner, std::string path, bool read_only = false)
      : owner_(owner), path_(std::move(path)), read_only_(read_only) {}

  platform::ReadResult read(std::span<std::byte> data) override {
    const std::size_t index = position_ / block;
    owner_.gate(index);
    const std::lock_guard lock(owner_.mutex_);
    FakeMedium& medium = owner_.media_.at(path_);
    ++medium.read_commands;
    if (medium.read_error_at == index) {
      position_ += data.size();
      return {0, platform::Error::io, false};
    }
    if (position_ >= medium.data.size()) return {0, platform::Error::none, true};
    const std::size_t n = std::min(data.size(), medium.data.size() - position_);
    std::memcpy(data.data(), medium.data.data() + position_, n);
    position_ += n;
    return {n, platform::Error::none, n < data.size()};
  }

  platform::Error write(std::span<const std::byte> data) override {
    const std::size_t index = position_ / block;
    owner_.gate(index);
    const std::lock_guard lock(owner_.mutex_);
    FakeMedium& medium = owner_.media_.at(path_);
    ++medium.write_commands;
    if (medium.write_protected || read_only_) return platform::Error::read_only;
    if (medium.write_error_at == index) return platform::Error::io;
    if (position_ + data.size() > medium.data.size()) return platform::Error::no_space;
    std::memcpy(medium.data.data() + position_, data.data(), data.size());
    position_ += data.size();
    return platform::Error::none;
  }

  platform::ReadResult read_at(uint64_t offset, std::span<std::byte> data) override {
    owner_.gate(offset / block);
    const std::lock_guard lock(owner_.mutex_);
    FakeMedium& medium = owner_.media_.at(path_);
    ++medium.read_commands;
    const std::size_t end = std::min<std::size_t>(offset + data.size(), medium.data.size());
    bool failed = false;
    for (std::size_t index = offset / block; index * block < end; ++index) {
      ++medium.reads[index];
      if (medium.bad_blocks.contains(index) || medium.read_error_at == index) failed = true;
      if (auto it = medium.failing_reads.find(index); it != medium.failing_reads.end()) {
        if (it->second > 0) failed = true;
        if (--it->second <= 0) medium.failing_reads.erase(it);
      }
    }
    if (failed) return {0, platform::Error::io, false};
    if (offset >= end) return {0, platform::Error::none, true};
    const std::size_t n = end - offset;
    std::memcpy(data.data(), medium.data.data() + offset, n);
    return {n, platform::Error::none, n < data.size()};
  }

  platform::Error write_at(uint64_t offset, std::span<const std::byte> data) override {
    owner_.gate(offset / block);
    const std::lock_guard lock(owner_.mutex_);
    FakeMedium& medium = owner_.media_.at(path_);
    ++medium.write_commands;
    if (medium.write_protected || read_only_) return platform::Error::read_only;
    if (medium.write_error_at && *medium.write_error_at >= offset / block &&
        *medium.write_error_at * block < offset + data.size())
      return platform::Error::io;
    if (offset + data.size() > medium.data.size()) return platform::Error::no_space;
    std::memcpy(medium.data.data() + offset, data.data(), data.size());
    return platform::Error::none;
  }

  platform::Error flush() override {
    const std::lock_guard lock(owner_.mutex_);
    return owner_.media_.at(path_).flush_error;
  }

 private:
  FakePlatform& owner_;
  std::string path_;
  bool read_only_;
  std::size_t position_ = 0;
};

FakePlatform::FakePlatform() {
  platform::substitute(this);
}

FakePlatform::~FakePlatform() {
  release();
  wait_idle();
  // The worker still writes its detach notice after it cleared the busy
  // flag.
  wait_for_threads();
  platform::substitute(nullptr);
}

bool FakePlatform::wait_for_threads(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return live_threads_ == 0; });
}

void FakePlatform::insert(const std::string& drive, FakeMedium medium) {
  const std::lock_guard lock(mutex_);
  media_[device_path(drive)] = std::move(medium);
}

FakeMedium FakePlatform::medium(const std::string& drive) {
  const std::lock_guard lock(mutex_);
  return media_.at(device_path(drive));
}

std::vector<std::byte> FakePlatform::contents(const std::string& drive) {
  const std::lock_guard lock(mutex_);
  return media_.at(device_path(drive)).data;
}

void FakePlatform::hold_at_block(std::size_t index) {
  const std::lock_guard lock(mutex_);
  hold_at_ = index;
  holding_ = false;
}

bool FakePlatform::wait_until_held(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return holding_; });
}

void FakePlatform::release() {
  const std::lock_guard lock(mutex_);
  hold_at_.reset();
  changed_.notify_all();
}

void FakePlatform::gate(std::size_t index) {
  std::unique_lock lock(mutex_);
  if (hold_at_ != index) return;
  holding_ = true;
  changed_.notify_all();
  changed_.wait(lock, [this, index] { return hold_at_ != index; });
  holding_ = false;
}

int FakePlatform::drive_opens() const {
  const std::lock_guard lock(mutex_);
  return opens_;
}

int FakePlatform::verify_opens() const {
  const std::lock_guard lock(mutex_);
  return verify_opens_;
}

std::optional<platform::DriveAccess> FakePlatform::last_access() const {
  const std::lock_guard lock(mutex_);
  return last_access_;
}

int FakePlatform::geometry_queries() const {
  const std::lock_guard lock(mutex_);
  return queries_;
}

std::vector<std::string> FakePlatform::debug_lines() const {
  const std::lock_guard lock(mutex_);
  return debug_;
}

bool FakePlatform::probe_file(const char*) {
  return false;
}

void FakePlatform::place_drive_at(const std::string& drive, const std::string& path) {
  const std::lock_guard lock(mutex_);
  drive_files_[device_path(drive)] = path;
}

bool FakePlatform::is_drive(std::string_view path_of_device, const char* path) {
  const std::lock_guard lock(mutex_);
  const auto it = drive_files_.find(std::string(path_of_device));
  return it != drive_files_.end() && path && it->second == path;
}

platform::Error FakePlatform::query_geometry(std::string_view path, platform::DriveGeometry& out) {
  gate(geometry_query);
  const std::lock_guard lock(mutex_);
  ++queries_;
  const auto it = media_.find(std::string(path));
  if (it == media_.end()) return platform::Error::not_found;
  if (it->second.query_error != platform::Error::none) return it->second.query_error;
  out = it->second.geometry;
  return platform::Error::none;
}

std::unique_ptr<platform::Drive> FakePlatform::open_drive(std::string_view path,
                                                          platform::DriveAccess access,
                                                          platform::Error& error) {
  const std::lock_guard lock(mutex_);
  last_access_ = access;
  const auto it = media_.find(std::string(path));
  error = it == media_.end() ? platform::Error::not_found : it->second.open_error;
  if (error != platform::Error::none) return nullptr;
  ++opens_;
  return std::make_unique<FakeDrive>(*this, std::string(path));
}

std::unique_ptr<platform::Drive> FakePlatform::open_drive_to_verify(std::string_view path,
                                                                    platform::Error& error) {
  const std::lock_guard lock(mutex_);
  const auto it = media_.find(std::string(path));
  error = it == media_.end() ? platform::Error::not_found : it->second.open_error;
  if (error != platform::Error::none) return nullptr;
  ++verify_opens_;
  return std::make_unique<FakeDrive>(*this, std::string(path), true);
}

std::unique_ptr<platform::DiskFormatter> FakePlatform::open_to_format(std::string_view path,
                                                                      platform::Error& error) {
  const std::lock_guard lock(mutex_);
  const auto it = media_.find(std::string(path));
  error = it == media_.end() ? platform::Error::not_found : it->second.open_error;
  if (error == platform::Error::none && it->second.formats.empty()) error = platform::Error::other;
  if (error == platform::Error::none && it->second.write_protected)
    error = platform::Error::read_only;
  if (error != platform::Error::none) return nullptr;
  return std::make_unique<FakeFormatter>(*this, std::string(path));
}

std::vector<const StandardFormat*> FakePlatform::formats_of(std::string_view path) {
  const std::lock_guard lock(mutex_);
  const auto it = media_.find(std::string(path));
  return it == media_.end() ? std::vector<const StandardFormat*>{} : it->second.formats;
}

namespace {

// A real image file on a file system with `room` bytes left, whose final
// flush may fail.
class FaultyImage final : public platform::ImageFile {
 public:
  FaultyImage(std::unique_ptr<platform::ImageFile> file, std::size_t room, bool fail_finish)
      : file_(std::move(file)), room_(room), fail_finish_(fail_finish) {}
  platform::ReadResult read(std::span<std::byte> data) override { return file_->read(data); }
  platform::Error write(std::span<const std::byte> data) override {
    if (data.size() > room_) return platform::Error::no_space;
    room_ -= data.size();
    return file_->write(data);
  }
  platform::Error finish() override {
    const platform::Error finished = file_->finish();
    return fail_finish_ ? platform::Error::io : finished;
  }
  std::optional<uint64_t> size() override { return file_->size(); }
  platform::Error write_at(uint64_t offset, std::span<const std::byte> data) override {
    if (data.size() > room_) return platform::Error::no_space;
    room_ -= data.size();
    return file_->write_at(offset, data);
  }
  platform::Error sync() override {
    const platform::Error synced = file_->sync();
    return fail_finish_ ? platform::Error::io : synced;
  }
  bool named_by(const char* path) override { return file_->named_by(path); }
  platform::ReadResult read_at(uint64_t offset, std::span<std::byte> data) override {
    return file_->read_at(offset, data);
  }

 private:
  std::unique_ptr<platform::ImageFile> file_;
  std::size_t room_;
  bool fail_finish_;
};

}  // namespace

std::unique_ptr<platform::ImageFile> FakePlatform::open_image(const char* path,
                                                              platform::ImageMode mode,
                                                              platform::Error& error) {
  std::unique_ptr<platform::ImageFile> file = platform::system().open_image(path, mode, error);
  if (!file || (!fail_sync_ && image_room_ == SIZE_MAX)) return file;
  return std::make_unique<FaultyImage>(std::move(file), image_room_, fail_sync_);
}

platform::Error FakePlatform::replace_file(const char* path, std::string_view content,
                                           bool replace) {
  return platform::system().replace_file(path, content, replace);
}

std::vector<platform::DriveEntry> FakePlatform::list_drives() {
  const std::lock_guard lock(mutex_);
  std::vector<platform::DriveEntry> drives;
  for (const auto& [path, medium] : media_) {
    const std::optional<std::string> file =
        drive_files_.contains(path) ? std::optional(drive_files_.at(path)) : std::nullopt;
    if (path.size() == 6)
      drives.push_back({path[4], file.value_or(path), platform::DriveKind::environment});
  }
  return drives;
}

std::string FakePlatform::device_of(std::string_view device_path) {
  const std::lock_guard lock(mutex_);
  const std::string path(device_path);
  if (const auto it = drive_files_.find(path); it != drive_files_.end()) return it->second;
  return media_.contains(path) ? path : std::string();
}

void FakePlatform::debug_output(std::string_view line) {
  const std::lock_guard lock(mutex_);
  debug_.emplace_back(line);
}

bool FakePlatform::start_thread(std::function<void()> body) {
  if (fail_threads_) return false;
  {
    const std::lock_guard lock(mutex_);
    ++live_threads_;
  }
  std::thread([this, body = std::move(body)] {
    body();
    const std::lock_guard lock(mutex_);
    --live_threads_;
    changed_.notify_all();
  }).detach();
  return true;
}

bool wait_idle(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (retvalue() != 0) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tessil-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::vector<std::byte> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::byte> bytes(chars.size());
  std::memcpy(bytes.data(), chars.data(), chars.size());
  return bytes;
}

void write_file(const std::string& path, const std::vector<std::byte>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

}  // namespace tessil::testing

namespace tessil::testing {

std::string run_command(const std::string& command) {
  std::string line;
  if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
    char buffer[512];
    if (std::fgets(buffer, sizeof buffer, pipe)) line = buffer;
    if (pclose(pipe) != 0) return "";
  }
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return line;
}

}  // namespace tessil::testing
