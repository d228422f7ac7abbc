// Who runs the program, on which machine, and when: what a record of a
// copy says about its making.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "platform/linux/linux_platform.h"

namespace tessil::platform::linux_os {

std::string LinuxPlatform::host_name() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

std::string LinuxPlatform::user_name() {
  if (const passwd* entry = ::getpwuid(::geteuid()); entry && entry->pw_name) return entry->pw_name;
  // An account that the password database does not know still has a number.
  const char* user = std::getenv("USER");
  return user ? user : std::to_string(::geteuid());
}

std::string LinuxPlatform::utc_now() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  if (!::gmtime_r(&now, &parts)) return "";
  char text[32];
  if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts) == 0) return "";
  return text;
}

}  // namespace tessil::platform::linux_os
