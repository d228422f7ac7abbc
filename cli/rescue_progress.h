// The rescue's progress on standard error, in the styles of the copies'
// display: where it is, and the sectors rescued, bad and not tried so far.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "progress_display.h"
#include "rescue/rescue_job.h"

namespace tessil::cli {

// Ctrl-C and SIGTERM become the job's cancel, read between two reads.
class RescueProgress final : public rescue::RescueSink {
 public:
  explicit RescueProgress(ProgressDisplay::Style style) : display_(style) {}

  void progress(const JobProgress&) override {}
  bool cancel_requested() override;
  void started(const DriveInfo& drive) override;
  void map_changed(const rescue::RescueMap& map) override;
  void finish(const rescue::RescueMap& map);
  // The passes over bad sectors begun so far.
  int retry_passes() const { return retry_passes_; }

 private:
  using Clock = std::chrono::steady_clock;

  void show(const rescue::RescueMap& map, double seconds);

  ProgressDisplay display_;
  uint64_t sector_ = 512;
  Clock::time_point start_ = Clock::now();
  int retry_passes_ = 0;
};

}  // namespace tessil::cli
