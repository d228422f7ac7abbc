#include "batch_disk.h"

#include <algorithm>
#include <cstdio>

#include "app/disk_rescue.h"
#include "app/job_runner.h"
#include "describe.h"
#include "jobs.h"
#include "progress_display.h"

namespace tessil::cli {

DiskRead read_one(char letter, const std::string& image, const std::string& label, bool raw,
                  bool progress, const app::DriveFacts& drive, app::ReadReport& report,
                  platform::DriveSession* session) {
  JobRequest request{std::string(1, letter), image, raw ? "" : label};
  request.session = session;
  request.raw_image = raw;
  request.checksums = true;
  ProgressDisplay display(ProgressDisplay::style_for_stderr(progress));
  const app::JobRun run = app::run_job(run_read_job, request, display);
  report.streamed = app::streamed_digests(run.outcome.checksums);
  DiskRead result;
  result.code = result.recorded = run.outcome.code;
  if (result.code != JOB_OK && result.code != JOB_NO_MEDIA)
    result.status = report_job_failure(result.code, run.outcome.reason,
                                       drive_text(letter, drive.device), image);
  result.amount = std::to_string(run.done) + " of " + std::to_string(run.total) + " bytes";
  return result;
}

DiskRead rescue_one(char letter, const std::string& image, const std::string& label,
                    const RescueOptions& options, bool progress, const app::DriveFacts& drive,
                    app::ReadReport& report, platform::DriveSession* session) {
  const rescue::RescueOutcome out =
      rescue_disk(letter, image, label, options, progress, &report, session);
  DiskRead result;
  result.code = out.job.code;
  result.recorded = app::rescue_result(out);
  if (result.code != JOB_OK && result.code != JOB_NO_MEDIA) {
    result.status = report_rescue_failure(out, drive_text(letter, drive.device), image);
  } else if (result.recorded != JOB_OK) {
    result.status = exit_sectors_missing;
  }
  const uint64_t sector = uint64_t(std::max(out.drive.bytes_per_sector, 1));
  result.amount = std::to_string(out.map.bytes(rescue::Status::rescued) / sector) + " of " +
                  std::to_string(out.map.size() / sector) + " sectors rescued";
  return result;
}

}  // namespace tessil::cli
