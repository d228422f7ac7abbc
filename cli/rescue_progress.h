// The rescue's progress on standard error, in the styles of the copies'
// display: how much of the disk is decided, the sectors rescued and bad,
// the pace, and the pass in words.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "progress_display.h"
#include "rescue/rescue_job.h"

namespace tessil::cli {

// Ctrl-C and SIGTERM become the job's cancel, read between two reads.
class RescueProgress final : public rescue::RescueSink {
 public:
  // `retries`: the passes over bad sectors the rescue makes at most.
  RescueProgress(ProgressDisplay::Style style, int retries) : display_(style), retries_(retries) {}

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
  int retries_ = 0;
  int retry_passes_ = 0;
  // Bytes decided when this run first showed the map: the pace is this run's.
  std::optional<uint64_t> decided_at_start_;
};

}  // namespace tessil::cli
