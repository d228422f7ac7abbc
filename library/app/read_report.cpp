#include "app/read_report.h"

#include "image_format.h"
#include "outcomes.h"
#include "platform/platform.h"

namespace tessil::app {

namespace {

struct Invocation {
  std::string tool = "tessil-cli";
  std::vector<std::string> arguments;
};

Invocation& invocation() {
  static Invocation remembered;
  return remembered;
}

Json digests_json(const std::optional<Digests>& digests) {
  if (!digests) return Json{{"sha256", nullptr}, {"md5", nullptr}};
  return Json{{"sha256", digests->sha256}, {"md5", digests->md5}};
}

}  // namespace

void remember_command_line(int argc, char** argv, std::string tool) {
  invocation().tool = std::move(tool);
  invocation().arguments.assign(argv, argv + argc);
}

std::string utc_now() {
  return platform::current().utc_now();
}

ReadReport begin_report(const DriveFacts& drive, const std::string& image, const std::string& label,
                        bool raw) {
  ReadReport report;
  report.image = image;
  report.raw = raw;
  report.label = label;
  report.drive = drive;
  if (drive.kind == platform::DriveKind::usb_floppy)
    report.usb = platform::current().usb_identity_of(drive.device.c_str());
  report.started = utc_now();
  return report;
}

std::optional<Digests> streamed_digests(const Checksums& sums) {
  if (sums.empty()) return std::nullopt;
  return Digests{sums.sha256, sums.md5};
}

int32_t end_report(ReadReport& report, int32_t code) {
  report.ended = utc_now();
  report.code = code;
  if (code == JOB_OK && !report.bad_sectors) report.bad_sectors.emplace();
  report.digests = digest_file(report.image, report.raw ? 0 : image_header_size);
  if (code == JOB_OK && report.streamed && report.digests &&
      (report.streamed->sha256 != report.digests->data.sha256 ||
       report.streamed->md5 != report.digests->data.md5)) {
    report.code = outcome::data_mismatch;
  }
  return report.code;
}

std::string data_sha256(const ReadReport& report) {
  if (report.streamed) return report.streamed->sha256;
  return report.digests ? report.digests->data.sha256 : "";
}

Json report_json(const ReadReport& report) {
  const DriveFacts& drive = report.drive;
  Json usb = nullptr;
  if (report.usb)
    usb = Json{{"vendor_id", report.usb->vendor_id},
               {"product_id", report.usb->product_id},
               {"vendor", report.usb->vendor},
               {"product", report.usb->product}};
  Json medium = nullptr;
  if (drive.has_disk) {
    medium = Json{{"geometry", geometry_json(header_of(drive.info))}, {"size", drive.info.size}};
  }
  Json bad_count = nullptr, bad_list = nullptr;
  if (report.bad_sectors) {
    bad_count = report.bad_sectors->size();
    bad_list = *report.bad_sectors;
  }
  std::optional<Digests> data, file;
  if (report.digests) {
    data = report.digests->data;
    file = report.digests->file;
  }
  if (report.streamed) data = report.streamed;
  return Json{
      {"format", "tessil-read-report"},
      {"format_version", report_format_version},
      {"tool", {{"name", invocation().tool}, {"version", TESSIL_VERSION}}},
      {"command_line", invocation().arguments},
      {"host", platform::current().host_name()},
      {"user", platform::current().user_name()},
      {"drive",
       {{"letter", std::string(1, drive.letter)},
        {"device", drive.device},
        {"kind", kind_key(drive.kind)},
        {"usb", usb}}},
      {"medium", medium},
      {"image",
       {{"file", report.image},
        {"kind", report.raw ? "raw" : "tessil"},
        {"label", report.label},
        {"size", report.digests ? Json(report.digests->size) : Json(nullptr)}}},
      {"started", report.started},
      {"ended", report.ended},
      {"result", {{"code", report.code}, {"text", std::string(result_text(report.code))}}},
      {"bad_sector_count", bad_count},
      {"bad_sectors", bad_list},
      {"retries", report.retries},
      {"data", digests_json(data)},
      {"file", digests_json(file)},
  };
}

platform::Error write_report(const ReadReport& report, bool replace) {
  const std::string text =
      report_json(report).dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
  // Whole or not at all: a report that cannot be written leaves nothing.
  return platform::current().replace_file(report_path_of(report.image).c_str(), text, replace);
}

}  // namespace tessil::app
