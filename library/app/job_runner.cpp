#include "app/job_runner.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/cancel_signals.h"

namespace tessil::app {

namespace {

using Clock = std::chrono::steady_clock;

// Called for every block on the worker; the display thread only samples it.
class SharedSink final : public JobSink {
 public:
  void progress(const JobProgress& progress) override {
    total_.store(progress.total, std::memory_order_relaxed);
    done_.store(progress.done, std::memory_order_relaxed);
  }
  bool cancel_requested() override { return CancelSignals::requested(); }

  uint64_t done() const { return done_.load(std::memory_order_relaxed); }
  uint64_t total() const { return total_.load(std::memory_order_relaxed); }

 private:
  std::atomic<uint64_t> done_{0};
  std::atomic<uint64_t> total_{0};
};

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

JobRun run_job(JobFunction job, const JobRequest& request, ProgressView& display) {
  CancelSignals signals;
  SharedSink sink;
  std::mutex mutex;
  std::condition_variable ended;
  bool finished = false;
  JobRun run;

  const Clock::time_point start = Clock::now();
  std::thread worker([&] {
    JobOutcome outcome = job(request, sink);
    const std::lock_guard lock(mutex);
    run.outcome = outcome;
    finished = true;
    ended.notify_one();
  });
  {
    std::unique_lock lock(mutex);
    // The job's end wakes this thread at once; otherwise it redraws on every
    // tick, which the display limits to ten a second.
    while (!ended.wait_for(lock, std::chrono::milliseconds(100), [&] { return finished; })) {
      lock.unlock();
      display.update(sink.done(), sink.total(), seconds_since(start));
      lock.lock();
    }
  }
  worker.join();

  run.seconds = seconds_since(start);
  run.done = sink.done();
  run.total = sink.total();
  display.finish(run.done, run.total, run.seconds);
  return run;
}

}  // namespace tessil::app
