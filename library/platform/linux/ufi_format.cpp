#include "platform/linux/ufi_format.h"

#include <algorithm>
#include <utility>

#include "platform/linux/ufi_commands.h"

namespace tessil::platform::linux_os {

namespace {

class UfiFormatter final : public DiskFormatter {
 public:
  explicit UfiFormatter(std::unique_ptr<ScsiTransport> transport)
      : transport_(std::move(transport)) {}

  std::vector<const StandardFormat*> formats() override {
    Error ignored;
    return ufi_formats(*transport_, ignored);
  }

  // Asks the drive again: the disk in it may have changed since.
  Error begin(const StandardFormat& format) override {
    format_ = nullptr;
    Error error = Error::none;
    const std::vector<const StandardFormat*> offered = ufi_formats(*transport_, error);
    if (error != Error::none) return error;
    const auto same = [&](const StandardFormat* f) { return f->size == format.size; };
    const auto found = std::find_if(offered.begin(), offered.end(), same);
    if (found == offered.end()) return Error::other;
    format_ = *found;
    return Error::none;
  }

  Error format_track(uint32_t cylinder, uint32_t head) override {
    if (!format_ || cylinder >= format_->cylinders || head >= format_->heads) return Error::other;
    // Never tried again: a drive that says its disk changed since begin()
    // may hold another disk, which must not get the rest of this format.
    const UfiFormatTrack command = ufi_format_track(*format_, cylinder, head);
    return transport_->run(command.cdb, ScsiData{{}, command.parameters}, ufi_format_timeout)
        .error();
  }

  Error end() override {
    const bool begun = format_ != nullptr;
    format_ = nullptr;
    return begun ? Error::none : Error::other;
  }

 private:
  std::unique_ptr<ScsiTransport> transport_;
  const StandardFormat* format_ = nullptr;
};

}  // namespace

std::vector<const StandardFormat*> ufi_formats(ScsiTransport& transport, Error& error) {
  std::array<uint8_t, ufi_capacities_length> reply{};
  const UfiCdb cdb = ufi_read_format_capacities();
  ScsiStatus status = transport.run(cdb, ScsiData{reply, {}}, scsi_timeout);
  // A drive says once that its disk was changed (UNIT ATTENTION), then
  // answers the same question as usual.
  if (status.kind == ScsiStatus::Kind::check_condition && status.sense_key == sense_unit_attention)
    status = transport.run(cdb, ScsiData{reply, {}}, scsi_timeout);
  error = status.error();
  if (error != Error::none) return {};
  const std::size_t received = std::min(status.received, reply.size());
  return ufi_parse_format_capacities(std::span<const uint8_t>(reply.data(), received));
}

std::vector<const StandardFormat*> ufi_formats(int fd) {
  SgIoTransport transport(fd);
  Error ignored;
  return ufi_formats(transport, ignored);
}

std::unique_ptr<DiskFormatter> ufi_formatter(std::unique_ptr<ScsiTransport> transport,
                                             Error& error) {
  // A drive that cannot say what it formats is no UFI drive, or not there.
  ufi_formats(*transport, error);
  if (error != Error::none) return nullptr;
  return std::make_unique<UfiFormatter>(std::move(transport));
}

std::unique_ptr<DiskFormatter> ufi_formatter(UniqueFd fd, Error& error) {
  if (!fd) {
    error = Error::not_found;
    return nullptr;
  }
  return ufi_formatter(std::make_unique<SgIoTransport>(std::move(fd)), error);
}

}  // namespace tessil::platform::linux_os
