#include "exit_status.h"

#include <cstdio>
#include <string>

#include "describe.h"
#include "outcomes.h"

namespace tessil::cli {

int report_failure(int32_t code, std::string_view subject, platform::Error reason) {
  std::string line = "tessil-cli: ";
  line += result_text(code);
  if (!subject.empty()) line.append(": ").append(printable(subject));
  if (reason != platform::Error::none) line.append(": ").append(platform::error_words(reason));
  line += '\n';
  std::fputs(line.c_str(), stderr);
  return exit_status_of(code);
}

int report_job_failure(int32_t code, platform::Error reason, std::string_view drive,
                       std::string_view image) {
  switch (code) {
    case JOB_IMAGE_CREATE_FAILED:
    case JOB_HEADER_WRITE_FAILED:
    case JOB_IMAGE_OPEN_FAILED:
    case JOB_HEADER_READ_FAILED:
    case outcome::map_unusable:
    case outcome::map_not_written:
    case outcome::report_not_written:
    case outcome::data_mismatch:
      return report_failure(code, image, reason);
    case JOB_GEOMETRY_MISMATCH:
      return report_failure(code, std::string(image).append(" and ").append(drive), reason);
    case JOB_CANCELLED:
      return report_failure(code, "", reason);
    default:
      return report_failure(code, drive, reason);
  }
}

int refuse(std::string_view message) {
  std::fprintf(stderr, "tessil-cli: %s\n", printable(message).c_str());
  return exit_usage;
}

}  // namespace tessil::cli
