// A floppy drive's formatting in memory, for FakePlatform: each track laid
// down is emptied as a fresh track reads, the medium's failing track fails
// its format command, and the platform's gate can hold the format before a
// track so a test can act while it runs.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "fake_platform.h"

namespace tessil::testing {

class FakeFormatter final : public platform::DiskFormatter {
 public:
  FakeFormatter(FakePlatform& owner, std::string path) : owner_(owner), path_(std::move(path)) {}

  std::vector<const StandardFormat*> formats() override {
    const std::lock_guard lock(owner_.mutex_);
    return owner_.media_.at(path_).formats;
  }
  platform::Error begin(const StandardFormat& format) override {
    format_ = &format;
    return platform::Error::none;
  }
  platform::Error format_track(uint32_t cylinder, uint32_t head) override {
    if (!format_) return platform::Error::other;
    const std::size_t index = std::size_t{cylinder} * format_->heads + head;
    owner_.gate(FakePlatform::format_track(index));
    const std::lock_guard lock(owner_.mutex_);
    FakeMedium& medium = owner_.media_.at(path_);
    if (medium.failing_track == index) return platform::Error::io;
    ++medium.tracks_formatted;
    const std::size_t bytes = std::size_t{format_->sectors_per_track} * standard_sector_size;
    if ((index + 1) * bytes <= medium.data.size())
      std::memset(medium.data.data() + index * bytes, 0xF6, bytes);
    return platform::Error::none;
  }
  platform::Error end() override { return platform::Error::none; }

 private:
  FakePlatform& owner_;
  std::string path_;
  const StandardFormat* format_ = nullptr;
};

}  // namespace tessil::testing
