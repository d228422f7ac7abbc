#include "exit_status.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "describe.h"
#include "outcomes.h"

namespace tessil::cli {

int report_failure(int32_t code, std::string_view subject, platform::Error reason) {
  // The code's own text ("No disk in drive") would tell what nobody saw:
  // the drive was never opened.
  if (platform::not_authorised(reason)) {
    report_refusal(subject, reason);
    return exit_status_of(code);
  }
  std::string line = "tessil-cli: ";
  line += result_text(code);
  if (!subject.empty()) line.append(": ").append(printable(subject));
  // "not found" of a file being made means its folder.
  if (reason == platform::Error::not_found &&
      (code == JOB_IMAGE_CREATE_FAILED || code == JOB_HEADER_WRITE_FAILED)) {
    const std::filesystem::path folder = std::filesystem::path(subject).parent_path();
    std::error_code error;
    if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
      line.append(": the folder ").append(printable(folder.string())).append(" does not exist\n");
      std::fputs(line.c_str(), stderr);
      return exit_status_of(code);
    }
  }
  if (reason != platform::Error::none) line.append(": ").append(platform::error_words(reason));
  line += '\n';
  std::fputs(line.c_str(), stderr);
  return exit_status_of(code);
}

void report_refusal(std::string_view drive, platform::Error reason) {
  std::fprintf(stderr,
               "tessil-cli: %s: %s: join the group that owns the device, or ask an administrator "
               "for a polkit rule (see tessil-cli(1), ACCESS)\n",
               printable(drive).c_str(), std::string(platform::error_words(reason)).c_str());
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
