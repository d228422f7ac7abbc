#include "trace.h"

#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"

namespace tessil {

void trace(const char* format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return;
  platform::current().debug_output(line);
}

void notice_thread_attach() {
  platform::current().debug_output("DLL_THREAD_ATTACH \n");
}
void notice_thread_detach() {
  platform::current().debug_output("DLL_THREAD_DETACH \n");
}

void notice_process_attach() {
  platform::current().debug_output("DLL_PROCESS_ATTACH \n");
}
void notice_process_detach() {
  platform::current().debug_output("DLL_PROCESS_DETACH \n");
}

}  // namespace tessil
