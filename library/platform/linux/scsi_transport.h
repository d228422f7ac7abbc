// One SCSI command sent to a device and how it ended. The commands are built
// and read apart from the sending, so they can be checked against a stand-in
// device that records what it was sent.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "platform/error.h"
#include "platform/linux/unique_fd.h"

namespace tessil::platform::linux_os {

// How a command ended: done; refused by the device, which said why in its
// sense data; or never carried out, for a reason the system gave.
struct ScsiStatus {
  enum class Kind { good, check_condition, failed };

  Kind kind = Kind::good;
  uint8_t sense_key = 0;
  uint8_t asc = 0;   // additional sense code
  uint8_t ascq = 0;  // its qualifier
  Error failure = Error::none;
  std::size_t received = 0;  // bytes the device sent back, when it sent any

  bool good() const { return kind == Kind::good; }
  // Error::none for a good end. A refusal is never taken for success: sense
  // that says nothing known is Error::io.
  Error error() const;
};

inline constexpr uint8_t sense_not_ready = 0x2;
inline constexpr uint8_t sense_unit_attention = 0x6;
inline constexpr uint8_t sense_data_protect = 0x7;
inline constexpr uint8_t asc_medium_not_present = 0x3A;

// The key and codes of fixed or descriptor sense data, as much of it as
// arrived; zeros for what did not.
ScsiStatus check_condition_of(std::span<const uint8_t> sense);

// What moves with a command: nothing, bytes from the device, or bytes to it.
struct ScsiData {
  std::span<uint8_t> from_device;
  std::span<const uint8_t> to_device;
};

inline constexpr std::chrono::milliseconds scsi_timeout{10'000};

class ScsiTransport {
 public:
  virtual ~ScsiTransport() = default;
  virtual ScsiStatus run(std::span<const uint8_t> cdb, ScsiData data,
                         std::chrono::milliseconds timeout) = 0;
};

// Commands through the SG_IO request of the device open at a descriptor,
// borrowed or owned.
class SgIoTransport final : public ScsiTransport {
 public:
  explicit SgIoTransport(int fd) : fd_(fd) {}
  explicit SgIoTransport(UniqueFd fd) : owned_(std::move(fd)), fd_(owned_.get()) {}

  ScsiStatus run(std::span<const uint8_t> cdb, ScsiData data,
                 std::chrono::milliseconds timeout) override;

 private:
  UniqueFd owned_;
  int fd_;
};

}  // namespace tessil::platform::linux_os
