// Follows a running job: each tick of Timer1 shows its progress and, once the
// library is no longer busy, reports its result once.
#pragma once

#include <cstdint>
#include <functional>

class ImagingBackend;
class MessageLog;
class QProgressBar;
class QTimer;

class JobPoller {
 public:
  JobPoller(ImagingBackend& backend, QTimer& timer, QProgressBar& bar, MessageLog& log,
            std::function<void()> beep);

  void tick();

  // Asked first about each finished job's code; when it returns true it has
  // reported the job itself and the usual line is not written.
  void setEndReporter(std::function<bool(int32_t code)> reporter) {
    end_reporter_ = std::move(reporter);
  }

 private:
  ImagingBackend& backend_;
  QTimer& timer_;
  QProgressBar& bar_;
  MessageLog& log_;
  std::function<void()> beep_;
  std::function<bool(int32_t code)> end_reporter_;
  // What the bar showed at the last tick while the job still ran.
  int running_percent_ = 0;
};
