#include "app/disk_rescue.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "app/drive_facts.h"
#include "image_format.h"
#include "outcomes.h"
#include "rescue/rescue_report.h"

namespace tessil::app {

namespace {

// Passes the rescue's news on, and counts the passes over bad sectors.
class CountingSink final : public rescue::RescueSink {
 public:
  explicit CountingSink(rescue::RescueSink& inner) : inner_(inner) {}
  void progress(const JobProgress& progress) override { inner_.progress(progress); }
  bool cancel_requested() override { return inner_.cancel_requested(); }
  void started(const DriveInfo& drive) override { inner_.started(drive); }
  void map_changed(const rescue::RescueMap& map) override {
    if (map.phase == rescue::Phase::retrying) retry_passes = std::max(retry_passes, map.pass);
    inner_.map_changed(map);
  }
  int retry_passes = 0;

 private:
  rescue::RescueSink& inner_;
};

}  // namespace

rescue::RescueRequest rescue_request_of(const DiskRescueRequest& request, const RescuePlan& plan) {
  rescue::RescueRequest out;
  out.job.drive = std::string(1, request.letter);
  out.job.image = request.image;
  out.job.label = plan.label;
  out.job.raw_image = plan.raw;
  out.map = request.map;
  out.retries = request.retries;
  out.fill = request.fill;
  out.command_line = request.command_line;
  return out;
}

rescue::RescueOutcome run_rescue(const rescue::RescueRequest& request, rescue::RescueSink& sink,
                                 ReadReport* report, platform::DriveSession* session) {
  rescue::RescueRequest held = request;
  held.job.session = session;
  CountingSink counting(sink);
  rescue::RescueOutcome out = rescue::run_rescue_job(held, counting);
  if (report) {
    const uint64_t sector = uint64_t(std::max(out.drive.bytes_per_sector, 1));
    report->bad_sectors = rescue::sectors_in(out.map, sector, rescue::SectorState::bad);
    report->retries = counting.retry_passes;
  }
  return out;
}

int32_t rescue_result(const rescue::RescueOutcome& out) {
  if (out.job.code == JOB_OK && !out.map.complete()) return outcome::sectors_missing;
  return out.job.code;
}

DiskRescue rescue_disk(const DiskRescueRequest& request, const RescuePlan& plan,
                       rescue::RescueSink& sink) {
  DiskRescue done;
  // The report's look at the drive and the rescue share one opening of it.
  const std::unique_ptr<platform::DriveSession> held =
      hold_drive(request.letter, platform::DriveAccess::read);
  if (request.report)
    done.report = begin_report(look_at_drive(request.letter, held.get()), request.image, plan.label,
                               plan.raw);
  const auto began = std::chrono::steady_clock::now();
  done.out = run_rescue(rescue_request_of(request, plan), sink,
                        done.report ? &*done.report : nullptr, held.get());
  done.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  done.result = rescue_result(done.out);
  // A failure, or a stop before the image was in place, leaves nothing to
  // look at or report on.
  if (!done.ran()) {
    done.report.reset();
    return done;
  }
  if (done.report) done.report->label = done.out.label;
  const rescue::RescueOutcome& out = done.out;
  const uint64_t sector = uint64_t(std::max(out.drive.bytes_per_sector, 1));
  const uint64_t offset = plan.raw ? 0 : image_header_size;
  if (!out.map.complete())
    done.fat = rescue::fat_damage(request.image, offset, sector, [&out, sector](uint64_t at) {
      return out.map.status_at(at * sector) != rescue::Status::rescued;
    });
  // A stopped run ends at once; its image is not the result yet.
  if (out.job.code == JOB_OK) done.digests = digest_file(request.image, offset);
  return done;
}

}  // namespace tessil::app
