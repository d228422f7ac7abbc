#include "batch_log.h"

#include "outcomes.h"
#include "platform/platform.h"

namespace tessil::cli {

namespace {

// Quoted where a spreadsheet would split it.
std::string field(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

bool BatchLog::append(long long number, const std::string& file,
                      const app::ReadReport& report) const {
  const std::string line =
      std::to_string(number) + "," + field(file) + "," + report.ended + "," +
      field(std::to_string(report.code) + " " + std::string(result_text(report.code))) + "," +
      (report.bad_sectors ? std::to_string(report.bad_sectors->size()) : "") + "," +
      app::data_sha256(report) + "\n";
  return platform::current().append_line(path_.c_str(),
                                         "number,file,time,result,bad_sectors,sha256\n",
                                         line) == platform::Error::none;
}

}  // namespace tessil::cli
