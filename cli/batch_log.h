// log.csv beside a batch's images: one line per disk, for a spreadsheet.
// Batches into the same folder share it, one whole line at a time.
#pragma once

#include <filesystem>
#include <string>

#include "app/read_report.h"

namespace tessil::cli {

class BatchLog {
 public:
  explicit BatchLog(std::filesystem::path path) : path_(std::move(path)) {}

  // Appends a line (and the heading first, to a new log); false when it
  // could not be written through.
  bool append(long long number, const std::string& file, const app::ReadReport& report) const;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace tessil::cli
