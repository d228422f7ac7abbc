// One format on a thread of its own, so that the window stays responsive:
// the application layer's format, its progress kept in atomics that the
// window reads on its own timer, and a stop that takes effect before the
// next track.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "app/format_disk.h"

class FormatRun {
 public:
  // Starts at once.
  explicit FormatRun(tessil::app::FormatRequest request);
  // Stops the format and waits for it.
  ~FormatRun();
  FormatRun(const FormatRun&) = delete;
  FormatRun& operator=(const FormatRun&) = delete;

  void stop() { stop_.store(true); }
  bool stopRequested() const { return stop_.load(); }
  bool finished() const { return finished_.load(std::memory_order_acquire); }

  // Tracks laid down and read back so far, each counted once, of twice the
  // format's tracks: laying down is the first half, reading back the second.
  int percent() const;

  // Once finished(): what it came to.
  const tessil::app::FormatRun& result() const { return result_; }
  const tessil::app::FormatRequest& request() const { return request_; }

  // How often the window looks.
  static constexpr std::chrono::milliseconds look_interval{100};

 private:
  void run();

  tessil::app::FormatRequest request_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  std::atomic<uint32_t> steps_done_{0};
  std::atomic<uint32_t> steps_{0};
  // Written by the format's thread before finished_ is set, read after.
  tessil::app::FormatRun result_;
  std::thread thread_;  // last: started once everything it uses is
};
