// The one record of the background job, and the protocol that starts it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "job_request.h"
#include "text_field.h"

namespace tessil {

// The device path that the last geometry query built. Queries run on the
// caller's thread and on a job's worker, so it is guarded; a job opens the
// path its own query returned, never this shared copy.
class DriveCopy {
 public:
  void store(std::string_view path);
  std::string load() const;

 private:
  mutable std::mutex mutex_;
  TextField text_;
};

// Integers are whole words shared with the worker. The worker stores
// `returnvalue` and its last `porcentage` before it releases `busy`; a caller
// that acquires `busy == 0` therefore sees the finished job's values.
struct JobState {
  std::atomic<int32_t> busy{0};
  std::atomic<int32_t> returnvalue{0};
  std::atomic<int32_t> porcentage{0};
  std::atomic<int32_t> cancel{0};
  // Written by an accepted start request before its worker exists, read by
  // that worker only.
  TextField driveint;
  TextField imagefileint;
  TextField inameint;
  DriveCopy drivecopy;
};

JobState& job_state();

// A job body works from job_state() and returns a result code.
using JobBody = int32_t (*)();

// The front part of readdisk and writedisk. Takes the job with one atomic
// step, so that of two callers at the same instant exactly one wins.
// `label` is copied into inameint only when `with_label` is set. Returns 0
// when the job was started, 1 when a job is already running or no worker
// could be made (nothing is changed then).
int32_t start_job(const char* drive, const char* image_path, bool with_label, const char* label,
                  JobBody body);

// The request that job_state() describes, for its worker.
JobRequest request_of(const JobState& state);

// Reports a job's progress into job_state() and reads its cancel request.
class StateSink final : public JobSink {
 public:
  explicit StateSink(JobState& state) : state_(state) {}
  void progress(const JobProgress& progress) override;
  bool cancel_requested() override;

 private:
  JobState& state_;
};

// Puts `body` on a new detached worker. False, with busy cleared again, when
// no thread could be made.
bool startjobthread(JobBody body);

}  // namespace tessil
