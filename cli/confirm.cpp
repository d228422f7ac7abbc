#include "confirm.h"

#include <cstdio>
#include <iostream>
#include <string>

#include "exit_status.h"
#include "platform/platform.h"

namespace tessil::cli {

bool can_ask() {
  return platform::current().is_terminal(platform::StandardStream::input);
}

bool confirmed(std::string_view question) {
  std::fprintf(stderr, "%.*s ", static_cast<int>(question.size()), question.data());
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  // Surrounding blanks are forgiven; anything but the word is a no.
  const auto first = answer.find_first_not_of(" \t\r");
  const auto last = answer.find_last_not_of(" \t\r");
  return first != std::string::npos && answer.substr(first, last - first + 1) == "yes";
}

std::optional<int> refusal_without_yes(bool yes, std::string_view verb, std::string_view done) {
  if (yes) return std::nullopt;
  if (!can_ask())
    return refuse("standard input is not a terminal; give --yes to " + std::string(verb) +
                  " without asking");
  if (!confirmed("Type yes to " + std::string(verb) + ":"))
    return refuse("nothing was " + std::string(done));
  return std::nullopt;
}

}  // namespace tessil::cli
