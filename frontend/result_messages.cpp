#include "result_messages.h"

#include "result_texts.h"

ResultMessage resultMessage(int32_t result_code) {
  for (const tessil::ResultText& row : tessil::result_texts) {
    if (row.code == result_code)
      return {row.code,
              QString::fromLatin1(row.text.data(), static_cast<qsizetype>(row.text.size()))};
  }
  return {tessil::unexpected_result_code,
          QString::fromLatin1(tessil::unexpected_result_text.data(),
                              static_cast<qsizetype>(tessil::unexpected_result_text.size()))};
}
