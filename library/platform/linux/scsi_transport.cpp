#include "platform/linux/scsi_transport.h"

#include <scsi/sg.h>
#include <sys/ioctl.h>

#include <array>
#include <cerrno>

#include "platform/linux/errno_map.h"

namespace tessil::platform::linux_os {

namespace {

constexpr uint8_t status_check_condition = 0x02;
constexpr uint8_t status_busy = 0x08;
// The sg driver's word that it fetched sense data; the low bits are its own
// failures (timeout, reset, ...).
constexpr uint16_t driver_sense = 0x08;
constexpr uint16_t driver_failure_mask = 0x07;

}  // namespace

Error ScsiStatus::error() const {
  switch (kind) {
    case Kind::good:
      return Error::none;
    case Kind::failed:
      return failure == Error::none ? Error::io : failure;
    case Kind::check_condition:
      break;
  }
  if (sense_key == sense_data_protect) return Error::read_only;
  if (sense_key == sense_not_ready && asc == asc_medium_not_present) return Error::no_medium;
  return Error::io;
}

ScsiStatus check_condition_of(std::span<const uint8_t> sense) {
  ScsiStatus status;
  status.kind = ScsiStatus::Kind::check_condition;
  const auto at = [&](std::size_t i) -> uint8_t { return i < sense.size() ? sense[i] : 0; };
  const uint8_t response = at(0) & 0x7F;
  if (response == 0x72 || response == 0x73) {  // descriptor format
    status.sense_key = at(1) & 0x0F;
    status.asc = at(2);
    status.ascq = at(3);
  } else if (response == 0x70 || response == 0x71) {  // fixed format
    status.sense_key = at(2) & 0x0F;
    status.asc = at(12);
    status.ascq = at(13);
  }
  return status;
}

ScsiStatus SgIoTransport::run(std::span<const uint8_t> cdb, ScsiData data,
                              std::chrono::milliseconds timeout) {
  std::array<uint8_t, 32> sense{};
  sg_io_hdr_t request{};
  request.interface_id = 'S';
  request.cmd_len = static_cast<unsigned char>(cdb.size());
  // The kernel only reads the command, whatever the field's type says.
  request.cmdp = const_cast<unsigned char*>(cdb.data());
  request.mx_sb_len = static_cast<unsigned char>(sense.size());
  request.sbp = sense.data();
  request.timeout = static_cast<unsigned int>(timeout.count());
  if (!data.from_device.empty()) {
    request.dxfer_direction = SG_DXFER_FROM_DEV;
    request.dxferp = data.from_device.data();
    request.dxfer_len = static_cast<unsigned int>(data.from_device.size());
  } else if (!data.to_device.empty()) {
    request.dxfer_direction = SG_DXFER_TO_DEV;
    request.dxferp = const_cast<uint8_t*>(data.to_device.data());
    request.dxfer_len = static_cast<unsigned int>(data.to_device.size());
  } else {
    request.dxfer_direction = SG_DXFER_NONE;
  }

  ScsiStatus status;
  int result;
  do {
    result = ::ioctl(fd_, SG_IO, &request);
  } while (result < 0 && errno == EINTR);
  if (result < 0) {
    status.kind = ScsiStatus::Kind::failed;
    status.failure = error_from_errno(errno);
    return status;
  }
  // The device never saw the command, or saw it cut off: its status and
  // sense would be stale.
  if (request.host_status != 0) {
    status.kind = ScsiStatus::Kind::failed;
    status.failure = Error::io;
    return status;
  }
  const uint8_t device_status = request.status & 0x7E;
  if (device_status == status_check_condition || (request.driver_status & driver_sense) != 0) {
    const std::size_t written = request.sb_len_wr < sense.size() ? request.sb_len_wr : sense.size();
    return check_condition_of(std::span<const uint8_t>(sense.data(), written));
  }
  if ((request.driver_status & driver_failure_mask) != 0 || device_status != 0) {
    status.kind = ScsiStatus::Kind::failed;
    status.failure = device_status == status_busy ? Error::busy : Error::io;
    return status;
  }
  const std::size_t wanted = data.from_device.size();
  const std::size_t missing = request.resid > 0 ? static_cast<std::size_t>(request.resid) : 0;
  status.received = missing < wanted ? wanted - missing : 0;
  return status;
}

}  // namespace tessil::platform::linux_os
