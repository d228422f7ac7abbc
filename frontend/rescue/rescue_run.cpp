#include "rescue_run.h"

#include <utility>

#include "platform/error_words.h"

class RescueRun::Sink final : public tessil::rescue::RescueSink {
 public:
  explicit Sink(RescueRun& run) : run_(run) {}

  void progress(const tessil::JobProgress&) override {}
  bool cancel_requested() override { return run_.stop_.load(); }
  void started(const tessil::DriveInfo& drive) override {
    const std::lock_guard lock(run_.mutex_);
    run_.view_.started = true;
    run_.view_.drive = drive;
    run_.fresh_ = true;
  }
  // Every change is kept, so that a read that takes long (a bad sector's
  // retries) never leaves an old picture up; the window looks at its pace.
  void map_changed(const tessil::rescue::RescueMap& map) override {
    const auto now = std::chrono::steady_clock::now();
    const std::lock_guard lock(run_.mutex_);
    run_.view_.map = map;
    run_.view_.seconds = std::chrono::duration<double>(now - run_.began_).count();
    run_.fresh_ = true;
  }

 private:
  RescueRun& run_;
};

RescueRun::RescueRun(tessil::app::DiskRescueRequest request, tessil::app::RescuePlan plan)
    : request_(std::move(request)), plan_(std::move(plan)), thread_([this] { run(); }) {}

RescueRun::~RescueRun() {
  stop();
  if (thread_.joinable()) thread_.join();
}

RescueRun::View RescueRun::look(bool& changed) {
  const std::lock_guard lock(mutex_);
  changed = fresh_;
  fresh_ = false;
  view_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began_).count();
  return view_;
}

void RescueRun::run() {
  Sink sink(*this);
  tessil::app::DiskRescue done = tessil::app::rescue_disk(request_, plan_, sink);
  if (done.report) {
    tessil::app::end_report(*done.report, done.result);
    const tessil::platform::Error failure = tessil::app::write_report(*done.report, true);
    if (failure == tessil::platform::Error::none)
      report_path_ = plan_.report_path;
    else
      report_problem_ =
          plan_.report_path + ": " + std::string(tessil::platform::error_words(failure));
  }
  {
    // The last map, whole, for the window's last look.
    const std::lock_guard lock(mutex_);
    if (done.out.map.size() > 0) view_.map = done.out.map;
    if (done.out.map.size() > 0 && !view_.started) {
      view_.started = true;
      view_.drive = done.out.drive;
    }
    fresh_ = true;
  }
  result_ = std::move(done);
  finished_.store(true, std::memory_order_release);
}
