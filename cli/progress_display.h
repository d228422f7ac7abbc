// A running job's progress on standard error: on a terminal one line
// redrawn in place at most ten times a second; otherwise nothing, or, when
// asked for, a plain line at most once a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "app/job_runner.h"

namespace tessil::cli {

class ProgressDisplay final : public app::ProgressView {
 public:
  enum class Style { none, line, plain };

  // `line` when standard error is a terminal, else `plain` when asked for,
  // else `none`.
  static Style style_for_stderr(bool plain_asked);

  // `phase`: what the line names first ("Writing"), for a command whose
  // jobs follow one another; each phase's time left is its own.
  explicit ProgressDisplay(Style style, std::string phase = {}, std::FILE* out = stderr)
      : style_(style), phase_(std::move(phase)), out_(out) {}

  // Shows the state `seconds` after the start, unless shown too recently.
  void update(uint64_t done, uint64_t total, double seconds) override;
  // Shows the final state and ends the terminal line.
  void finish(uint64_t done, uint64_t total, double seconds) override;

  // For a display of its own words: whether a line is shown at all, whether
  // one is due `seconds` after the start, showing one, and ending the line.
  bool active() const { return style_ != Style::none; }
  bool due(double seconds) const;
  void show_text(std::string text, double seconds);
  void end_line();

 private:
  std::string with_phase(std::string text) const;

  Style style_;
  std::string phase_;
  std::FILE* out_;
  bool shown_ = false;
  double last_shown_ = 0;
  std::size_t last_width_ = 0;
};

// "0:18", or "1:02:03" from an hour on.
std::string clock_text(double seconds);

// " 42%  604 KiB of 1440 KiB  45 KiB/s  0:18 left".
std::string progress_text(uint64_t done, uint64_t total, double seconds);

}  // namespace tessil::cli
