// The command line, answered before Qt opens a display, so that --help and
// --version work anywhere and a mistake is told rather than ignored.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

struct CommandLineAnswer {
  // Empty: start the window as without arguments. Otherwise the program
  // prints the texts and ends with this status (0, or 2 for a usage error).
  std::optional<int> exit_status;
  QString standard_output;
  QString standard_error;
};

// `arguments` starts with the program's name, as argv does. Qt's own
// options (-platform, -display, -style, ...) are accepted and left to Qt.
CommandLineAnswer answerCommandLine(const QStringList& arguments);

// Answers argv on the standard streams. Returns the status to end with, or
// nothing when the window should start.
std::optional<int> handleCommandLine(int argc, char* argv[]);
