#include "format_run.h"

#include <utility>

FormatRun::FormatRun(tessil::app::FormatRequest request)
    : request_(std::move(request)), thread_([this] { run(); }) {}

FormatRun::~FormatRun() {
  stop();
  if (thread_.joinable()) thread_.join();
}

int FormatRun::percent() const {
  const uint32_t steps = steps_.load();
  return steps == 0 ? 0 : int(uint64_t{steps_done_.load()} * 100 / steps);
}

void FormatRun::run() {
  tessil::format::FormatSteps steps;
  steps.progress = [this](const tessil::format::FormatProgress& progress) {
    const bool back = progress.stage == tessil::format::Stage::reading_back;
    steps_.store(progress.tracks * 2);
    steps_done_.store(progress.done + (back ? progress.tracks : 0));
  };
  steps.stop_asked = [this] { return stop_.load(); };
  tessil::app::FormatRun done = tessil::app::run_format(request_, steps);
  result_ = std::move(done);
  finished_.store(true, std::memory_order_release);
}
