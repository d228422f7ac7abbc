#include "progress_display.h"

#include "describe.h"
#include "platform/platform.h"

namespace tessil::cli {

namespace {

constexpr double line_interval = 0.1;   // seconds: ten updates a second
constexpr double plain_interval = 1.0;  // a plain line a second

}  // namespace

std::string clock_text(double seconds) {
  const auto whole = static_cast<unsigned long>(seconds + 0.5);
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%lu:%02lu:%02lu", whole / 3600, whole / 60 % 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%lu:%02lu", whole / 60, whole % 60);
  }
  return text;
}

ProgressDisplay::Style ProgressDisplay::style_for_stderr(bool plain_asked) {
  if (platform::current().is_terminal(platform::StandardStream::error)) return Style::line;
  return plain_asked ? Style::plain : Style::none;
}

std::string progress_text(uint64_t done, uint64_t total, double seconds) {
  const unsigned percent = total == 0 ? 0 : static_cast<unsigned>(done * 100 / total);
  char head[16];
  std::snprintf(head, sizeof head, "%3u%%", percent);
  std::string text = head;
  text.append("  ").append(human_size(done)).append(" of ").append(human_size(total));
  if (done > 0 && seconds > 0) {
    const double rate = static_cast<double>(done) / seconds;
    text.append("  ").append(human_size(static_cast<uint64_t>(rate))).append("/s");
    if (done < total) {
      text.append("  ").append(clock_text(static_cast<double>(total - done) / rate));
      text.append(" left");
    }
  }
  return text;
}

bool ProgressDisplay::due(double seconds) const {
  if (style_ == Style::none) return false;
  const double interval = style_ == Style::line ? line_interval : plain_interval;
  return !shown_ || seconds - last_shown_ >= interval;
}

void ProgressDisplay::update(uint64_t done, uint64_t total, double seconds) {
  if (total == 0 || !due(seconds)) return;
  show_text(with_phase(progress_text(done, total, seconds)), seconds);
}

void ProgressDisplay::finish(uint64_t done, uint64_t total, double seconds) {
  if (style_ == Style::none) return;
  if (total > 0) show_text(with_phase(progress_text(done, total, seconds)), seconds);
  end_line();
}

std::string ProgressDisplay::with_phase(std::string text) const {
  return phase_.empty() ? text : phase_ + " " + text;
}

void ProgressDisplay::end_line() {
  if (style_ == Style::none) return;
  if (style_ == Style::line && shown_) std::fputc('\n', out_);
  std::fflush(out_);
}

void ProgressDisplay::show_text(std::string text, double seconds) {
  if (style_ == Style::line) {
    // Spaces wipe what a longer line before left behind.
    const std::size_t width = text.size();
    if (width < last_width_) text.append(last_width_ - width, ' ');
    last_width_ = width;
    std::fprintf(out_, "\r%s", text.c_str());
  } else {
    std::fprintf(out_, "tessil-cli: %s\n", text.c_str());
  }
  std::fflush(out_);
  shown_ = true;
  last_shown_ = seconds;
}

}  // namespace tessil::cli
