#include "standard_output.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// TESSIL_DEBUG read as the library's debug channel reads it, so that its
// notices and the printed lines end up in the same place: unset, empty or
// too long is silence, "stderr" is standard error, anything else a file
// that is appended to.
int openDestination() {
  const char* value = std::getenv("TESSIL_DEBUG");
  const std::size_t length = value ? std::strlen(value) : 0;
  if (length > 0 && length < PATH_MAX) {
    if (std::strcmp(value, "stderr") == 0) return ::dup(STDERR_FILENO);
    const int fd = ::open(value, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd >= 0) return fd;
  }
  // A destination that cannot be opened is silence too, as in the library.
  return ::open("/dev/null", O_WRONLY | O_CLOEXEC);
}

}  // namespace

void routeStandardOutput() {
  const int destination = openDestination();
  if (destination < 0) return;
  std::fflush(stdout);
  ::dup2(destination, STDOUT_FILENO);
  ::close(destination);
}
