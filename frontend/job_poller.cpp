#include "job_poller.h"

#include <QProgressBar>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "binding/imaging_backend.h"
#include "message_log.h"
#include "result_messages.h"

JobPoller::JobPoller(ImagingBackend& backend, QTimer& timer, QProgressBar& bar, MessageLog& log,
                     std::function<void()> beep)
    : backend_(backend), timer_(timer), bar_(bar), log_(log), beep_(std::move(beep)) {}

void JobPoller::tick() {
  // The bar ignores values outside its range; show them at its ends instead.
  const int percent = std::clamp(backend_.getporcentage(), 0, 100);
  bar_.setValue(percent);
  if (backend_.retvalue() != 0) {
    running_percent_ = percent;
    return;
  }
  // Stopped first, so that one finished job is reported once.
  timer_.stop();
  if (beep_) beep_();
  const int32_t code = backend_.getreturnvalue();
  // The library says 100 once any job is over; a job that failed shows how
  // far it got instead, not a full bar.
  if (code != 0) bar_.setValue(running_percent_);
  running_percent_ = 0;
  if (end_reporter_ && end_reporter_(code)) return;
  const ResultMessage message = resultMessage(code);
  log_.LogMessage(message.code, message.text);
}
