// The words for a finished job's result code: the only place where the
// library's codes become text.
#pragma once

#include <QString>
#include <cstdint>

struct ResultMessage {
  int32_t code;  // the code the message line shows
  QString text;
};

// A code the library is not known to return is shown as 255.
ResultMessage resultMessage(int32_t result_code);
