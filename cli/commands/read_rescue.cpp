#include "commands/read_rescue.h"

#include <cstdio>

#include "app/cancel_signals.h"
#include "app/disk_rescue.h"
#include "app/read_report.h"
#include "describe.h"
#include "exit_status.h"
#include "image_format.h"
#include "json_output.h"
#include "outcomes.h"
#include "progress_display.h"
#include "report_filing.h"
#include "rescue_progress.h"
#include "rescue_summary.h"

namespace tessil::cli {

void add_rescue_options(CLI::App& read, RescueOptions& options) {
  CLI::Option* rescue =
      read.add_flag("--rescue", options.rescue,
                    "Read every sector that can still be read and keep a GNU ddrescue mapfile; "
                    "again with the same map, read only what is missing");
  read.add_option("--retries", options.retries,
                  "Rescue: passes over the sectors still bad (0 to 1000, default 2)")
      ->type_name("N")
      ->check(CLI::Range(0, 1000).description(""))
      ->needs(rescue);
  read.add_option("--fill", options.fill,
                  "Rescue: what an unreadable sector holds in the image: zero (the default) or "
                  "marker, a text no real sector holds")
      ->type_name("zero|marker")
      ->check(CLI::IsMember({"zero", "marker"}).description(""))
      ->needs(rescue);
  read.add_option("--map", options.map, "Rescue: the mapfile (IMAGE.map by default)")
      ->type_name("FILE")
      ->needs(rescue);
  read.add_flag("--picture", options.picture,
                "Rescue: picture every sector at the end, not one character per track")
      ->needs(rescue);
}

app::DiskRescueRequest rescue_request(char letter, const std::string& image,
                                      const std::string& label, const RescueOptions& options) {
  app::DiskRescueRequest request;
  request.letter = letter;
  request.image = image;
  request.label = label;
  request.map = options.map;
  request.retries = options.retries;
  request.fill = options.fill == "marker" ? rescue::Fill::marker : rescue::Fill::zero;
  request.command_line = "tessil-cli read " + std::string(1, letter) + " " + image + " --rescue";
  if (options.raw != raw_by_name(image))
    request.command_line += options.raw ? " --raw" : " --tessil";
  return request;
}

rescue::RescueOutcome rescue_disk(char letter, const std::string& image, const std::string& label,
                                  const RescueOptions& options, bool progress,
                                  app::ReadReport* report, platform::DriveSession* session) {
  app::RescuePlan plan;
  plan.raw = options.raw;
  plan.label = label;
  app::CancelSignals signals;
  RescueProgress display(ProgressDisplay::style_for_stderr(progress), options.retries);
  rescue::RescueOutcome out =
      app::run_rescue(app::rescue_request_of(rescue_request(letter, image, label, options), plan),
                      display, report, session);
  display.finish(out.map);
  return out;
}

int report_rescue_failure(const rescue::RescueOutcome& out, const std::string& drive,
                          const std::string& image) {
  // A failure of the map is said of the map, with what is wrong with it.
  if (!out.failed_file.empty() && !out.problem.empty())
    return report_failure(out.job.code, out.failed_file + ": " + out.problem);
  const int status = report_job_failure(out.job.code, out.job.reason, drive,
                                        out.failed_file.empty() ? image : out.failed_file);
  if (!out.problem.empty())
    std::fprintf(stderr, "tessil-cli: %s\n", printable(out.problem).c_str());
  return status;
}

int read_rescue(char letter, const std::string& image, const std::string& label,
                const RescueOptions& options, bool progress, bool json, bool no_report) {
  // From the start: planning reads the map, which can take seconds, and a
  // signal then must stop the command as it would the rescue.
  app::CancelSignals signals;
  app::DiskRescueRequest request = rescue_request(letter, image, label, options);
  request.afresh = options.afresh;
  request.report = !no_report;
  if (options.kind.raw || options.kind.tessil) request.raw = options.kind.raw;
  app::RescuePlan plan = app::plan_rescue(request);
  if (plan.refused())
    return plan.code == 0 ? refuse(plan.refusal) : report_failure(plan.code, plan.refusal);
  if (const std::optional<std::string> refusal =
          raw_label_refusal(image, plan.raw, options.kind, label))
    return refuse(*refusal);
  // The map notes the command as it goes on, with the kind the image is.
  RescueOptions chosen = options;
  chosen.raw = plan.raw;
  request.command_line = rescue_request(letter, image, label, chosen).command_line;

  const std::string drive = drive_text(letter, app::device_of(letter));
  RescueProgress display(ProgressDisplay::style_for_stderr(progress), options.retries);
  app::DiskRescue done = app::rescue_disk(request, plan, display);
  display.finish(done.out.map);
  const rescue::RescueOutcome& out = done.out;
  if (!done.ran()) return report_rescue_failure(out, drive, image);

  const RescueSummary summary{out,
                              done.fat,
                              letter,
                              drive,
                              image,
                              done.result,
                              done.seconds,
                              done.digests ? done.digests->data : Checksums{},
                              options.picture};
  if (json)
    print_json(rescue_json(summary));
  else
    print_rescue_text(summary);
  std::fflush(stdout);
  int status = exit_status_of(done.result);
  if (out.job.code == JOB_CANCELLED) {
    report_job_failure(out.job.code, out.job.reason, drive, image);
    std::fprintf(stderr, "tessil-cli: %s and its map agree; the same command goes on\n",
                 printable(image).c_str());
  }
  // Only a rescue that ran is reported: then the image and its map agree.
  if (done.report) status = file_report(*done.report, done.result, true, status);
  return status;
}

}  // namespace tessil::cli
