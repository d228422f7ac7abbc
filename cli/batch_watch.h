// The batch's watch on its drive: it waits for a disk that was not there at
// the last read, so that a disk left in is never read twice.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include <cstdio>

#include "app/cancel_signals.h"
#include "app/drive_facts.h"
#include "describe.h"
#include "disk_head.h"
#include "platform/platform.h"

namespace tessil::cli {

// How often an empty drive, or one holding the disk just read, is asked
// again. Each time is one geometry query and, with a disk in, a read of its
// first sectors, through one opening of the drive: where udisks2 opens it,
// one authorisation.
inline constexpr auto poll_interval = std::chrono::milliseconds(500);

// Waits for a disk to read in the drive: one that was not there at the last
// read. Enter on standard input asks again at once.
class DiskWatch {
 public:
  explicit DiskWatch(char letter) : letter_(letter) {}

  struct Found {
    app::DriveFacts drive;
    MediumIdentity identity;
    // The opening it was found through, for everything done with this disk.
    std::unique_ptr<platform::DriveSession> held;
  };

  // The drive with a new disk in it, and that disk's identity; nothing once
  // Ctrl-C or SIGTERM came.
  std::optional<Found> next() {
    Shown shown = Shown::nothing;
    for (;;) {
      if (app::CancelSignals::requested()) return std::nullopt;
      std::unique_ptr<platform::DriveSession> held =
          app::hold_drive(letter_, platform::DriveAccess::read);
      app::DriveFacts drive = app::look_at_drive(letter_, held.get());
      if (!drive.has_disk) {
        taken_out_ = true;
        if (shown != Shown::empty)
          say("Waiting for a disk in " + drive_text(letter_, drive.device) +
              (drive.reason == platform::Error::no_medium ||
                       drive.reason == platform::Error::not_found
                   ? std::string()
                   : " (" + std::string(platform::error_words(drive.reason)) + ")") +
              "; Enter reads at once, Ctrl-C ends");
        shown = Shown::empty;
      } else if (std::optional<MediumIdentity> identity =
                     identify_medium(letter_, drive.info.size, drive.reason, held.get())) {
        // The disk just read, still in: it is never read twice.
        if (taken_out_ || !last_ || *identity != *last_)
          return Found{std::move(drive), std::move(*identity), std::move(held)};
        if (shown != Shown::same)
          say("The disk in drive " + std::string(1, letter_) +
              " has been read; take it out and insert the next one");
        shown = Shown::same;
      } else {
        // Found but not to be opened: mounted by a desktop, or held by
        // another program. Reading it now would only fail.
        if (shown != Shown::closed)
          say("Waiting: " + drive_text(letter_, drive.device) + " cannot be opened (" +
              std::string(platform::error_words(drive.reason)) + ")");
        shown = Shown::closed;
      }
      if (wait_or_enter()) shown = Shown::nothing;
    }
  }

  // The disk now read; another must come before anything is read again.
  void read(MediumIdentity identity) {
    last_ = std::move(identity);
    taken_out_ = false;
  }

 private:
  enum class Shown { nothing, empty, same, closed };

  static void say(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

  // Sleeps one poll interval; true when Enter cut it short.
  bool wait_or_enter() {
    const platform::InputWait got = platform::current().wait_for_input(poll_interval, watch_input_);
    if (got == platform::InputWait::closed) watch_input_ = false;
    return got == platform::InputWait::line;
  }

  char letter_;
  std::optional<MediumIdentity> last_;
  bool taken_out_ = true;
  bool watch_input_ = true;
};

}  // namespace tessil::cli
