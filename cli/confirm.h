// Asking before something is replaced: a typed "yes" on a terminal, or a
// refusal when nobody is there to type it.
#pragma once

#include <optional>
#include <string_view>

namespace tessil::cli {

// True when standard input is a terminal.
bool can_ask();

// Prints `question` on standard error and reads one line from standard
// input; true only when the line is "yes".
bool confirmed(std::string_view question);

// The typed yes before a command replaces a disk, unless `yes` (--yes)
// was given: nothing when the command may go on, else the exit status of
// its refusal. `verb` and `done` name the act: "write", "written".
std::optional<int> refusal_without_yes(bool yes, std::string_view verb, std::string_view done);

}  // namespace tessil::cli
