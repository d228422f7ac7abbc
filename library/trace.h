// The library's diagnostic channels besides standard output: the trace hook,
// which all library code calls, and the load and unload notices. Both end on
// the platform's debugger output channel, which is silent unless configured.
#pragma once

namespace tessil {

// printf-style debug line; writes nothing unless the debugger channel is on.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Load and unload notices, one line each: of the library in a process
// (the platform calls these when the system loads and unloads it) and of
// a job's worker.
void notice_process_attach();
void notice_process_detach();
void notice_thread_attach();
void notice_thread_detach();

}  // namespace tessil
