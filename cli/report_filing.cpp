#include "report_filing.h"

#include "exit_status.h"
#include "outcomes.h"

namespace tessil::cli {

int32_t end_and_tell(app::ReadReport& report, int32_t code) {
  const int32_t recorded = app::end_report(report, code);
  if (recorded != code) report_failure(recorded, report.image);
  return recorded;
}

int file_report(app::ReadReport& report, int32_t code, bool replace, int status) {
  if (end_and_tell(report, code) != code && status == exit_ok) status = exit_status_of(report.code);
  const platform::Error failure = app::write_report(report, replace);
  if (failure == platform::Error::none) return status;
  const int reported =
      report_failure(outcome::report_not_written, app::report_path_of(report.image), failure);
  return status == exit_ok ? reported : status;
}

}  // namespace tessil::cli
