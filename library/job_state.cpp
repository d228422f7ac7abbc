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
  // overwrite them. The exchange lets exactly one of several callers in.
  int32_t idle = 0;
  if (!state.busy.compare_exchange_strong(idle, 1, std::memory_order_acquire)) return 1;

  state.driveint.assign(drive);
  state.imagefileint.assign(image_path);
  if (with_label) state.inameint.assign(label);
  state.porcentage.store(0, std::memory_order_relaxed);
  state.cancel.store(0, std::memory_order_relaxed);

  trace("driveint %s \n", state.driveint.c_str());
  trace("imagefileint %s \n", state.imagefileint.c_str());
  if (with_label) trace("inameint %s \n", state.inameint.c_str());

  return startjobthread(body) ? 0 : 1;
}

JobRequest request_of(const JobState& state) {
  JobRequest request;
  request.drive = state.driveint.view();
  request.image = state.imagefileint.view();
  request.label = state.inameint.view();
  request.image_whole = !state.imagefileint.overflowed();
  request.print_query = true;
  return request;
}

void StateSink::progress(const JobProgress& progress) {
  state_.porcentage.store(progress.percent, std::memory_order_relaxed);
}

bool StateSink::cancel_requested() {
  return state_.cancel.load(std::memory_order_relaxed) != 0;
}

}  // namespace tessil
