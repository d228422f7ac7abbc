#include "window_read.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app/drive_facts.h"
#include "image_format.h"
#include "message_log.h"
#include "outcomes.h"
#include "raw_image.h"
#include "result_messages.h"
#include "tessil.h"

namespace {

std::string bytes(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

}  // namespace

bool rawFromFailedRead(const QString& from, const QString& to) {
  QFile in(from);
  QFile out(to);
  if (!in.open(QIODevice::ReadOnly) || !in.seek(tessil::image_header_size) ||
      !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
    return false;
  while (!in.atEnd()) {
    const QByteArray block = in.read(64 * 1024);
    if (block.isEmpty() || out.write(block) != block.size()) return false;
  }
  return out.flush();
}

WindowRead::WindowRead(MessageLog& log, OfferRescue offer_rescue)
    : log_(log), offer_rescue_(std::move(offer_rescue)) {}

WindowRead::~WindowRead() = default;

QString WindowRead::begin(const QString& drive, const QString& image, const QString& label,
                          bool raw, bool report) {
  forget();
  drive_ = drive;
  image_ = image;
  label_ = label;
  raw_ = raw;
  QString target = image;
  if (raw) {
    private_ = std::make_unique<QTemporaryFile>(
        QDir::temp().filePath(QStringLiteral("tessil-XXXXXX.tsl")));
    if (!private_->open()) {
      logResult(log_, JOB_IMAGE_CREATE_FAILED);
      forget();
      return {};
    }
    private_->close();
    target = private_->fileName();
  }
  // The drive is looked at before the library holds it.
  if (report)
    report_ = tessil::app::begin_report(
        tessil::app::look_at_drive(drive.isEmpty() ? 0 : drive.at(0).toLatin1()), bytes(image),
        label.toStdString(), raw);
  active_ = true;
  return target;
}

void WindowRead::forget() {
  active_ = false;
  private_.reset();
  report_.reset();
}

bool WindowRead::convertRaw() {
  tessil::ConvertRequest request;
  request.input = bytes(private_->fileName());
  request.output = bytes(image_);
  request.replace = true;
  return tessil::convert_image(request).result == tessil::ConvertResult::ok;
}

bool WindowRead::reportEnd(int32_t code) {
  if (!active_) return false;
  int32_t result = code;
  if (raw_ && code == 0 && !convertRaw()) result = JOB_HEADER_WRITE_FAILED;
  const ResultMessage message = resultMessage(result);
  log_.LogMessage(message.code, message.text);
  if (report_ && QFileInfo::exists(image_)) {
    tessil::app::end_report(*report_, result);
    if (tessil::app::write_report(*report_, true) != tessil::platform::Error::none)
      logResult(log_, tessil::outcome::report_not_written, QString(),
                QStringLiteral(": ") + image_ + QStringLiteral(".json"));
  }
  // A raw image's rescue starts from what the private one got.
  if (result == JOB_SHORT_READ && offer_rescue_)
    offer_rescue_(drive_, image_, label_, raw_ ? private_->fileName() : QString());
  forget();
  return true;
}
