// The words for a finished job's result code: the only place where the
// library's codes become text.
#pragma once

#include <QString>
#include <cstdint>

// The numbers of the window's own lines in the message list, beside the
// outcomes of jobs.
namespace window_message {
inline constexpr int32_t done = 0;
inline constexpr int32_t drive_empty = 1;
inline constexpr int32_t invalid_drive = 2;
inline constexpr int32_t already_running = 3;
}  // namespace window_message

struct ResultMessage {
  int32_t code;  // the code the message line shows
  QString text;
};

// A code the library is not known to return is shown as 255.
ResultMessage resultMessage(int32_t result_code);

class MessageLog;

// Adds the line of outcome `number` (any of the programs' outcomes) to the
// message list, in its words between `before` and `after`.
void logResult(MessageLog& log, int32_t number, const QString& before = {},
               const QString& after = {});
