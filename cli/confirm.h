// Asking before something is replaced: a typed "yes" on a terminal, or a
// refusal when nobody is there to type it.
#pragma once

#include <string_view>

namespace tessil::cli {

// True when standard input is a terminal.
bool can_ask();

// Prints `question` on standard error and reads one line from standard
// input; true only when the line is "yes".
bool confirmed(std::string_view question);

}  // namespace tessil::cli
