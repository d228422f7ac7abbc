#include "raw_image_write.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
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
                                             const tessil::StandardFormat& format, MessageLog& log,
                                             bool short_raw) {
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
  if (short_raw) request.short_raw_format = &format;
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

namespace {

QString nameOf(const tessil::StandardFormat& format) {
  return QString::fromLatin1(format.name.data(), static_cast<qsizetype>(format.name.size()));
}

QString grouped(uint64_t number) {
  return QLocale(QLocale::English).toString(static_cast<qulonglong>(number));
}

}  // namespace

std::optional<ShortRaw> shortRawOf(const QString& path,
                                   const std::function<const tessil::StandardFormat*()>& ask_disk,
                                   const QString& drive) {
  if (!QFileInfo(path).isFile() || !tessil::raw_image_name(QFile::encodeName(path).toStdString()))
    return std::nullopt;
  const tessil::app::ImageFacts facts =
      tessil::app::look_at_image(QFile::encodeName(path).toStdString());
  if (facts.code != 0 || facts.kind != tessil::ImageKind::neither || facts.file_size == 0)
    return std::nullopt;
  const tessil::StandardFormat* disk = ask_disk();
  ShortRaw found;
  found.size = facts.file_size;
  found.format = facts.boot_format ? facts.boot_format : disk;
  const QString name = QFileInfo(path).fileName();
  const QString disk_words = disk ? nameOf(*disk) : QStringLiteral("no standard format");
  if (!found.format) {
    found.refusal = QStringLiteral(
                        "%1 is a short raw image, and the disk in drive %2 is of no "
                        "standard format")
                        .arg(name, drive);
  } else if (found.format != disk) {
    found.refusal = QStringLiteral(
                        "%1 is a %2 disk image, by its FAT boot sector; the disk in "
                        "drive %3 is %4")
                        .arg(name, nameOf(*found.format), drive, disk_words);
  } else if (found.size >= found.format->size) {
    found.refusal = QStringLiteral("%1 holds %2 bytes, more than the %3 of the %4 disk in drive %5")
                        .arg(name, grouped(found.size), grouped(found.format->size),
                             nameOf(*found.format), drive);
  } else {
    const uint64_t sectors = tessil::app::sectors_in(found.size);
    found.sentence =
        QStringLiteral(
            "%1 is a raw image of %2 sectors (%3 bytes), shorter than the "
            "%4 disk in drive %5; the other %6 sectors will be filled "
            "with zeros")
            .arg(name, grouped(sectors), grouped(found.size), nameOf(*found.format), drive,
                 grouped(tessil::app::sectors_in(found.format->size) - sectors));
  }
  return found;
}

bool askToWriteShort(QWidget& parent, const QString& sentence) {
  return QMessageBox::question(&parent, QStringLiteral("Raw image"),
                               sentence + QStringLiteral(".\n\nWrite it to the floppy?"),
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace raw_image_write
