#include "result_messages.h"

#include "message_log.h"
#include "outcomes.h"

ResultMessage resultMessage(int32_t result_code) {
  // The window learns only the library's own codes from a job.
  if (tessil::library_result(result_code)) {
    const std::string_view words = tessil::result_text(result_code);
    return {result_code, QString::fromLatin1(words.data(), static_cast<qsizetype>(words.size()))};
  }
  return {tessil::unexpected_result_code,
          QString::fromLatin1(tessil::unexpected_result_text.data(),
                              static_cast<qsizetype>(tessil::unexpected_result_text.size()))};
}

void logResult(MessageLog& log, int32_t number, const QString& before, const QString& after) {
  const tessil::Outcome& outcome = tessil::outcome_of(number);
  log.LogMessage(
      outcome.number,
      before +
          QString::fromLatin1(outcome.words.data(), static_cast<qsizetype>(outcome.words.size())) +
          after);
}
