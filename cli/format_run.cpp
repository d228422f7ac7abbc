#include "format_run.h"

#include <chrono>
#include <cstdio>

#include "app/cancel_signals.h"
#include "exit_status.h"
#include "progress_display.h"

namespace tessil::cli {

namespace {

std::string progress_words(const format::FormatProgress& at) {
  return std::string(at.stage == format::Stage::laying ? "Formatting" : "Reading back") +
         "  track " + std::to_string(at.done) + " of " + std::to_string(at.tracks);
}

}  // namespace

app::FormatRun format_with_progress(const app::FormatRequest& request, bool plain_progress) {
  const app::CancelSignals cancel;
  ProgressDisplay display(ProgressDisplay::style_for_stderr(plain_progress));
  const auto start = std::chrono::steady_clock::now();
  format::FormatSteps steps;
  steps.stop_asked = [] { return app::CancelSignals::requested(); };
  steps.progress = [&display, start](const format::FormatProgress& at) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (display.active() && (display.due(seconds) || at.done == at.tracks))
      display.show_text(progress_words(at), seconds);
  };
  const app::FormatRun run = app::run_format(request, steps);
  if (display.active()) display.end_line();
  std::fflush(stderr);
  return run;
}

int report_format(const app::FormatRun& run, const app::FormatRequest& request) {
  const std::string drive = std::string("drive ") + request.letter;
  const uint32_t tracks = run.format->cylinders * run.format->heads;
  if (run.code == outcome::done) {
    std::printf("Done: the disk in %s formatted as %s%s, %u tracks read back, in %.1f s\n",
                drive.c_str(), std::string(run.format->name).c_str(),
                request.fat ? " with an empty FAT volume" : "", tracks, run.seconds);
    return exit_ok;
  }
  if (run.code == JOB_CANCELLED)
    return report_failure(run.code, run.result.laid < tracks
                                        ? "stopped after " + std::to_string(run.result.laid) +
                                              " of " + std::to_string(tracks) +
                                              " tracks: the disk in " + drive +
                                              " is now only partly formatted"
                                        : "stopped while reading back: the disk in " + drive +
                                              " is formatted but not every track was read back");
  if (run.result.failed_track)
    return report_failure(run.code,
                          drive + ", cylinder " +
                              std::to_string(run.result.failed_track->cylinder) + " head " +
                              std::to_string(run.result.failed_track->head) +
                              " would not format; the disk is now only partly formatted",
                          run.reason);
  if (!run.result.unreadable.empty())
    return report_failure(
        run.code, drive + ": " + std::to_string(run.result.unreadable.size()) +
                      " tracks did not read back: " + app::tracks_words(run.result.unreadable));
  return report_failure(run.code, drive, run.reason);
}

}  // namespace tessil::cli
