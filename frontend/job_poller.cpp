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
  bar_.setValue(std::clamp(backend_.getporcentage(), 0, 100));
  if (backend_.retvalue() != 0) return;
  // Stopped first, so that one finished job is reported once.
  timer_.stop();
  if (beep_) beep_();
  const int32_t code = backend_.getreturnvalue();
  if (end_reporter_ && end_reporter_(code)) return;
  const ResultMessage message = resultMessage(code);
  log_.LogMessage(message.code, message.text);
}
