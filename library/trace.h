// The library's diagnostic channels besides standard output: the trace hook,
// which all library code calls, and the load and unload notices. Both end on
// the platform's debugger output channel, which is silent unless configured.
#pragma once

namespace tessil {

// printf-style debug line; writes nothing unless the debugger channel is on.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Load and unload notices, one line each.
void notice_thread_attach();
void notice_thread_detach();

}  // namespace tessil
