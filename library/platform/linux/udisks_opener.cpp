#include "platform/linux/udisks_opener.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <systemd/sd-bus.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/linux/debug_channel.h"

namespace tessil::platform::linux_os {

namespace {

constexpr const char* service = "org.freedesktop.UDisks2";
constexpr const char* manager_path = "/org/freedesktop/UDisks2/Manager";
constexpr const char* manager_interface = "org.freedesktop.UDisks2.Manager";
constexpr const char* block_interface = "org.freedesktop.UDisks2.Block";

// Finding the device is quick or does not happen; opening it may wait for a
// person typing a password into the authorisation dialog, but not for ever.
constexpr uint64_t resolve_timeout_usec = 10'000'000;
constexpr uint64_t open_timeout_usec = 120'000'000;

struct BusClose {
  void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
struct MessageUnref {
  void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Bus = std::unique_ptr<sd_bus, BusClose>;
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

class BusError {
 public:
  BusError() = default;
  BusError(const BusError&) = delete;
  BusError& operator=(const BusError&) = delete;
  ~BusError() { sd_bus_error_free(&error_); }
  sd_bus_error* get() { return &error_; }
  bool named(std::string_view prefix) const {
    return error_.name && std::string_view(error_.name).starts_with(prefix);
  }
  // The error's name and message, or the system's words for `code`.
  std::string text(int code) const {
    if (!sd_bus_error_is_set(&error_)) return ::strerror(-code);
    std::string line = error_.name;
    if (error_.message) line += std::string(": ") + error_.message;
    return line;
  }
  std::string message() const { return error_.message ? error_.message : ""; }

 private:
  // All empty, as SD_BUS_ERROR_NULL makes it (a C compound literal that
  // C++ compilers warn about).
  sd_bus_error error_{};
};

UdisksOpen not_opened(UdisksAnswer answer, std::string why, int errno_value = EACCES) {
  UdisksOpen result;
  result.answer = answer;
  result.errno_value = errno_value;
  result.why = std::move(why);
  return result;
}

// The block object udisks2 keeps for `device`, or empty.
std::string resolve_block(sd_bus* bus, const std::string& device, std::string& why) {
  sd_bus_message* raw = nullptr;
  if (const int r = sd_bus_message_new_method_call(bus, &raw, service, manager_path,
                                                   manager_interface, "ResolveDevice");
      r < 0) {
    why = std::string("ResolveDevice: ") + ::strerror(-r);
    return {};
  }
  const Message call(raw);
  sd_bus_message* reply_raw = nullptr;
  BusError error;
  int r = sd_bus_message_append(call.get(), "a{sv}a{sv}", 1, "path", "s", device.c_str(), 0);
  if (r >= 0) r = sd_bus_call(bus, call.get(), resolve_timeout_usec, error.get(), &reply_raw);
  const Message reply(reply_raw);
  if (r < 0) {
    why = "ResolveDevice: " + error.text(r);
    return {};
  }
  const char* object = nullptr;
  r = sd_bus_message_enter_container(reply.get(), 'a', "o");
  if (r > 0) r = sd_bus_message_read(reply.get(), "o", &object);
  if (r <= 0 || !object) {
    why = "udisks2 knows no device " + device;
    return {};
  }
  return object;
}

// True when `fd` is the device (or file) that `path` named when we looked.
bool same_file(int fd, const struct stat& named) {
  struct stat got {};
  if (::fstat(fd, &got) != 0) return false;
  if (S_ISBLK(named.st_mode)) return S_ISBLK(got.st_mode) && got.st_rdev == named.st_rdev;
  return S_ISREG(got.st_mode) && got.st_dev == named.st_dev && got.st_ino == named.st_ino;
}

// The errno value behind a udisks2 open failure, from the end of its message
// ("Error opening device /dev/sdb: Device or resource busy"); 0 when it names
// none of the errors a drive open meets.
int errno_of_udisks_message(const std::string& message) {
  // The errors a drive open meets; udisks2 ends its message with the
  // kernel's words for them, which are these unless its locale translates.
  static constexpr std::array<int, 8> known{EBUSY,  EROFS,  ENOMEDIUM, ENXIO,
                                            ENOENT, EACCES, EPERM,     EIO};
  for (const int code : known) {
    const char* words = ::strerrordesc_np(code);
    if (words && message.ends_with(std::string(": ") + words)) return code;
  }
  return 0;
}

// Whether polkit was asked for open-device-system: as udisks2's refusal
// names it, else as udisks2 decides, by the device's HintSystem.
bool system_action_of(sd_bus* bus, const std::string& object, const std::string& message) {
  constexpr std::string_view action = "org.freedesktop.udisks2.open-device";
  if (const std::size_t at = message.find(action); at != std::string::npos)
    return std::string_view(message).substr(at + action.size()).starts_with("-system");
  int hint = 0;
  BusError error;
  return sd_bus_get_property_trivial(bus, service, object.c_str(), block_interface, "HintSystem",
                                     error.get(), 'b', &hint) >= 0 &&
         hint != 0;
}

UdisksOpen ask(const std::string& path, bool read_write, int flags) {
  struct stat named {};
  if (::stat(path.c_str(), &named) != 0)
    return not_opened(UdisksAnswer::unavailable, "no such device");
  // udisks2 knows devices by their /dev names, not by the links to them.
  std::array<char, PATH_MAX> real{};
  const std::string device = ::realpath(path.c_str(), real.data()) ? real.data() : path;

  sd_bus* raw_bus = nullptr;
  // DBUS_SYSTEM_BUS_ADDRESS, when set, names the bus (tests use a private one).
  if (const int r = sd_bus_open_system(&raw_bus); r < 0)
    return not_opened(UdisksAnswer::unavailable, std::string("no system bus: ") + ::strerror(-r));
  const Bus bus(raw_bus);

  std::string why;
  const std::string object = resolve_block(bus.get(), device, why);
  if (object.empty()) return not_opened(UdisksAnswer::unavailable, why);

  sd_bus_message* raw_call = nullptr;
  if (const int r = sd_bus_message_new_method_call(bus.get(), &raw_call, service, object.c_str(),
                                                   block_interface, "OpenDevice");
      r < 0)
    return not_opened(UdisksAnswer::unavailable, std::string("OpenDevice: ") + ::strerror(-r));
  const Message call(raw_call);
  // The desktop's authorisation dialog may ask the user.
  int r = sd_bus_message_set_allow_interactive_authorization(call.get(), 1);
  if (r >= 0) r = sd_bus_message_append(call.get(), "s", read_write ? "rw" : "r");
  if (r >= 0)
    r = flags != 0 ? sd_bus_message_append(call.get(), "a{sv}", 1, "flags", "i", flags)
                   : sd_bus_message_append(call.get(), "a{sv}", 0);
  sd_bus_message* raw_reply = nullptr;
  BusError error;
  if (r >= 0) r = sd_bus_call(bus.get(), call.get(), open_timeout_usec, error.get(), &raw_reply);
  const Message reply(raw_reply);
  if (r < 0) {
    const std::string text = "OpenDevice: " + error.text(r);
    if (error.named("org.freedesktop.UDisks2.Error.NotAuthorized")) {
      UdisksOpen refused = not_opened(UdisksAnswer::refused, text);
      refused.system_action = system_action_of(bus.get(), object, error.message());
      return refused;
    }
    if (!sd_bus_error_is_set(error.get()) || error.named("org.freedesktop.DBus.Error."))
      return not_opened(UdisksAnswer::unavailable, text);
    const int code = errno_of_udisks_message(error.message());
    return not_opened(UdisksAnswer::failed, text, code ? code : EACCES);
  }

  int lent = -1;
  if (sd_bus_message_read(reply.get(), "h", &lent) < 0 || lent < 0)
    return not_opened(UdisksAnswer::unavailable, "OpenDevice: no descriptor in the reply");
  // The reply owns `lent` and closes it with itself: keep a copy of our own.
  UdisksOpen result;
  result.fd = UniqueFd(::fcntl(lent, F_DUPFD_CLOEXEC, 3));
  if (!result.fd)
    return not_opened(UdisksAnswer::unavailable, std::string("dup: ") + ::strerror(errno));
  if (!same_file(result.fd.get(), named))
    return not_opened(UdisksAnswer::unavailable, "OpenDevice handed back another device");
  result.answer = UdisksAnswer::opened;
  result.errno_value = 0;
  return result;
}

}  // namespace

UdisksOpen open_through_udisks(const std::string& path, bool read_write, int flags) {
  UdisksOpen asked = ask(path, read_write, flags);
  const char* mode = read_write ? "read-write" : "read-only";
  if (asked.fd)
    debug_write("udisks2 opened " + path + " " + mode + " \n");
  else
    debug_write("udisks2 did not open " + path + " " + mode + ": " + asked.why + " \n");
  return asked;
}

UdisksOpen copy_of_answer(const UdisksOpen& asked) {
  UdisksOpen copy = not_opened(asked.answer, asked.why, asked.errno_value);
  copy.system_action = asked.system_action;
  return copy;
}

}  // namespace tessil::platform::linux_os
