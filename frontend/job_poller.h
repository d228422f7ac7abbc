// Follows a running job: each tick of Timer1 shows its progress and, once the
// library is no longer busy, reports its result once.
#pragma once

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

 private:
  ImagingBackend& backend_;
  QTimer& timer_;
  QProgressBar& bar_;
  MessageLog& log_;
  std::function<void()> beep_;
};
