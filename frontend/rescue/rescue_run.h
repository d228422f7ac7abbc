// One rescue on a thread of its own, so that the window stays responsive:
// the application layer's rescue, its report ended and written beside the
// image when asked for. The rescue leaves a copy of its map after each
// read; the window looks at it on its own timer, ten times a second.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "app/disk_rescue.h"

class RescueRun {
 public:
  // Starts at once; the request has been planned.
  RescueRun(tessil::app::DiskRescueRequest request, tessil::app::RescuePlan plan);
  // Stops the rescue and waits for it: the image and its map agree.
  ~RescueRun();
  RescueRun(const RescueRun&) = delete;
  RescueRun& operator=(const RescueRun&) = delete;

  // The rescue stops after the read it is doing; map and image agree.
  void stop() { stop_.store(true); }
  bool stopRequested() const { return stop_.load(); }
  bool finished() const { return finished_.load(std::memory_order_acquire); }

  struct View {
    bool started = false;  // the disk's geometry is known
    tessil::DriveInfo drive;
    tessil::rescue::RescueMap map;
    double seconds = 0;
  };
  // The rescue as it last said it was; `changed` is false when nothing new
  // came since the last look.
  View look(bool& changed);

  // Once finished(): what it came to.
  const tessil::app::DiskRescue& result() const { return result_; }
  // Once finished(): the report's path, or why it was not written; both
  // empty when none was asked for or the rescue did not run.
  const std::string& reportPath() const { return report_path_; }
  const std::string& reportProblem() const { return report_problem_; }

  const tessil::app::DiskRescueRequest& request() const { return request_; }
  const tessil::app::RescuePlan& plan() const { return plan_; }

  // How often the window looks.
  static constexpr std::chrono::milliseconds look_interval{100};

 private:
  class Sink;
  void run();

  tessil::app::DiskRescueRequest request_;
  tessil::app::RescuePlan plan_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  std::chrono::steady_clock::time_point began_ = std::chrono::steady_clock::now();

  std::mutex mutex_;  // guards view_ and fresh_
  View view_;
  bool fresh_ = false;

  // Written by the rescue's thread before finished_ is set, read after.
  tessil::app::DiskRescue result_;
  std::string report_path_;
  std::string report_problem_;

  std::thread thread_;  // last: started once everything it uses is
};
