#include "job_state.h"

#include "platform/platform.h"
#include "trace.h"

namespace tessil {

void DriveCopy::store(std::string_view path) {
  const std::string copy(path);
  const std::lock_guard lock(mutex_);
  text_.assign(copy.c_str());
}

std::string DriveCopy::load() const {
  const std::lock_guard lock(mutex_);
  return std::string(text_.view());
}

JobState& job_state() {
  static JobState state;
  return state;
}

namespace {

void run_worker(JobBody body) {
  notice_thread_attach();
  JobState& state = job_state();
  const int32_t code = body();
  state.returnvalue.store(code, std::memory_order_relaxed);
  // Releases the result code and the last progress value to the caller.
  state.busy.store(0, std::memory_order_release);
  notice_thread_detach();
}

}  // namespace

bool startjobthread(JobBody body) {
  JobState& state = job_state();
  state.busy.store(1, std::memory_order_relaxed);
  if (platform::current().start_thread([body] { run_worker(body); })) return true;
  // Without a worker nothing would ever clear the flag.
  state.busy.store(0, std::memory_order_release);
  return false;
}

int32_t start_job(const char* drive, const char* image_path, bool with_label, const char* label,
                  JobBody body) {
  JobState& state = job_state();
  // Acquire: a finished worker's last reads of the texts happen before we
  // overwrite them.
  if (state.busy.load(std::memory_order_acquire) != 0) return 1;

  state.driveint.assign(drive);
  state.imagefileint.assign(image_path);
  if (with_label) state.inameint.assign(label);
  state.busy.store(1, std::memory_order_relaxed);
  state.porcentage.store(0, std::memory_order_relaxed);
  state.cancel.store(0, std::memory_order_relaxed);

  trace("driveint %s \n", state.driveint.c_str());
  trace("imagefileint %s \n", state.imagefileint.c_str());
  if (with_label) trace("inameint %s \n", state.inameint.c_str());

  return startjobthread(body) ? 0 : 1;
}

}  // namespace tessil

using tessil::job_state;

extern "C" {

int32_t getporcentage(void) {
  return job_state().porcentage.load(std::memory_order_relaxed);
}

int32_t intcancel(void) {
  job_state().cancel.store(1, std::memory_order_relaxed);
  return 0;
}

int32_t retvalue(void) {
  return job_state().busy.load(std::memory_order_acquire);
}

int32_t getreturnvalue(void) {
  return job_state().returnvalue.load(std::memory_order_relaxed);
}

}  // extern "C"
