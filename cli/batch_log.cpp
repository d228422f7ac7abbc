#include "batch_log.h"

#include <fstream>
#include <vector>

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

// A line's fields, quotes undone.
std::vector<std::string> fields_of(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"') {
      fields.back() += c;
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

}  // namespace

bool BatchLog::append(long long number, const std::string& file, const app::ReadReport& report,
                      const std::string& same_as) const {
  // New columns go at the end: what reads the first six keeps working.
  const std::string line =
      std::to_string(number) + "," + field(file) + "," + report.ended + "," +
      field(std::to_string(report.code) + " " + std::string(result_text(report.code))) + "," +
      (report.bad_sectors ? std::to_string(report.bad_sectors->size()) : "") + "," +
      app::data_sha256(report) + "," + field(report.label) + "," + field(same_as) + "\n";
  return platform::current().append_line(
             path_.c_str(), "number,file,time,result,bad_sectors,sha256,label,same_data_as\n",
             line) == platform::Error::none;
}

std::map<std::string, std::string> BatchLog::images_by_digest() const {
  std::map<std::string, std::string> images;
  std::ifstream in(path_);
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    const std::vector<std::string> fields = fields_of(line);
    if (fields.size() >= 6 && !fields[1].empty() && !fields[5].empty())
      images.emplace(fields[5], fields[1]);
  }
  return images;
}

}  // namespace tessil::cli
