#include "raw_image_write.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>

#include "app/image_facts.h"
#include "message_log.h"
#include "raw_image.h"
#include "result_messages.h"
#include "tessil.h"

namespace raw_image_write {

const tessil::StandardFormat* rawFormatOf(const QString& path) {
  // A device is never taken for a file the user picked to write.
  if (!QFileInfo(path).isFile()) return nullptr;
  return tessil::app::look_at_image(QFile::encodeName(path).toStdString()).raw_format;
}

QString describe(const tessil::StandardFormat& format) {
  return QStringLiteral("a raw image of a %1 disk, without a label")
      .arg(QString::fromLatin1(format.name.data(), static_cast<qsizetype>(format.name.size())));
}

bool askToWrite(QWidget& parent, const QString& path, const tessil::StandardFormat& format) {
  const QString text = QStringLiteral("%1 is %2.\n\nWrite it to the floppy?")
                           .arg(QFileInfo(path).fileName(), describe(format));
  return QMessageBox::question(&parent, QStringLiteral("Raw image"), text,
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

std::unique_ptr<QTemporaryFile> tessilCopyOf(const QString& path,
                                             const tessil::StandardFormat& format,
                                             MessageLog& log) {
  // Private to this user (0600), in the system's temporary directory; the
  // conversion replaces it whole, or leaves it empty and fails.
  auto copy =
      std::make_unique<QTemporaryFile>(QDir::temp().filePath(QStringLiteral("tessil-XXXXXX.img")));
  if (!copy->open()) {
    logResult(log, JOB_IMAGE_CREATE_FAILED);
    return nullptr;
  }
  copy->close();
  tessil::ConvertRequest request;
  request.input = QFile::encodeName(path).toStdString();
  request.output = QFile::encodeName(copy->fileName()).toStdString();
  request.replace = true;
  request.private_output = true;
  const tessil::ConvertOutcome converted = tessil::convert_image(request);
  if (converted.result == tessil::ConvertResult::ok && converted.from == tessil::ImageKind::raw &&
      QFileInfo(copy->fileName()).size() ==
          static_cast<qint64>(TESSIL_IMAGE_HEADER_SIZE + format.size))
    return copy;
  logResult(log, converted.result == tessil::ConvertResult::input_unreadable
                     ? JOB_IMAGE_OPEN_FAILED
                     : JOB_HEADER_WRITE_FAILED);
  return nullptr;
}

}  // namespace raw_image_write
