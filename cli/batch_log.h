// log.csv beside a batch's images: one line per disk, for a spreadsheet.
// Batches into the same folder share it, one whole line at a time.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "app/read_report.h"

namespace tessil::cli {

class BatchLog {
 public:
  explicit BatchLog(std::filesystem::path path) : path_(std::move(path)) {}

  // Appends a line (and the heading first, to a new log); false when it
  // could not be written through. `file` is empty for an image not kept;
  // `same_as` names the earlier image of the same data.
  bool append(long long number, const std::string& file, const app::ReadReport& report,
              const std::string& same_as = {}) const;

  // The data's SHA-256 of every image the log lists, with its file: the
  // first of each.
  std::map<std::string, std::string> images_by_digest() const;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace tessil::cli
