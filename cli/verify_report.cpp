#include "verify_report.h"

#include <cstdio>

#include "app/job_runner.h"
#include "exit_status.h"
#include "progress_display.h"
#include "verify_texts.h"

namespace tessil::cli {

VerifyRun run_verify(const JobRequest& request, bool progress) {
  VerifyRun run;
  ProgressDisplay display(ProgressDisplay::style_for_stderr(progress), "Verifying");
  const app::JobRun job = app::run_job(
      [&run](const JobRequest& r, JobSink& sink) {
        run.outcome = run_verify_job(r, sink);
        return run.outcome.outcome;
      },
      request, display);
  run.seconds = job.seconds;
  return run;
}

int report_verify(const VerifyRun& run, const std::string& drive, const std::string& image) {
  const VerifyOutcome& v = run.outcome;
  switch (v.outcome.code) {
    case JOB_OK:
      std::printf("Verified: %s holds %s, %llu sectors read back from the disk in %.1f s\n",
                  drive.c_str(), image.c_str(), static_cast<unsigned long long>(v.sectors),
                  run.seconds);
      return exit_ok;
    case outcome::verify_failed:
      std::fprintf(stderr, "tessil-cli: Verify failed: %s differs from %s: %s\n", drive.c_str(),
                   image.c_str(),
                   describe_differences(v.differing_sectors, v.first_differences).c_str());
      return exit_differs;
    case JOB_SHORT_READ:
      std::fprintf(stderr, "tessil-cli: Verify failed: %s could not be read back\n", drive.c_str());
      return report_failure(JOB_SHORT_READ, drive, v.outcome.reason);
    default:
      return report_job_failure(v.outcome.code, v.outcome.reason, drive, image);
  }
}

app::Json verify_json(const VerifyRun& run) {
  const VerifyOutcome& v = run.outcome;
  app::Json first = app::Json::array();
  for (const SectorAddress& a : v.first_differences)
    first.push_back(app::Json{{"sector", a.number},
                              {"cylinder", a.cylinder},
                              {"head", a.head},
                              {"sector_in_track", a.sector}});
  app::Json out{{"code", v.outcome.code},     {"same", v.outcome.code == JOB_OK},
                {"sectors", v.sectors},       {"differing_sectors", v.differing_sectors},
                {"first_differences", first}, {"seconds", run.seconds}};
  if (!v.outcome.checksums.empty()) {
    out["sha256"] = v.outcome.checksums.sha256;
    out["md5"] = v.outcome.checksums.md5;
  }
  return out;
}

}  // namespace tessil::cli
