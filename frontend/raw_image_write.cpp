#include "raw_image_write.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QtEndian>

#include "message_log.h"
#include "result_messages.h"
#include "tessil.h"

namespace raw_image_write {

namespace {

constexpr qint64 chunk = 64 * 1024;

QByteArray headerOf(const tessil::StandardFormat& format) {
  // Four little-endian 32-bit geometry values, then an empty label field.
  QByteArray header(TESSIL_IMAGE_HEADER_SIZE, '\0');
  const quint32 values[] = {format.cylinders, format.heads, format.sectors_per_track,
                            tessil::standard_sector_size};
  for (int i = 0; i < 4; ++i) qToLittleEndian(values[i], header.data() + 4 * i);
  return header;
}

}  // namespace

const tessil::StandardFormat* rawFormatOf(const QString& path) {
  const QFileInfo info(path);
  if (!info.isFile()) return nullptr;
  const qint64 size = info.size();
  if (size <= 0 || !tessil::standard_format_of(static_cast<uint64_t>(size))) return nullptr;
  return tessil::standard_format_of(static_cast<uint64_t>(size));
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
  QFile raw(path);
  if (!raw.open(QIODevice::ReadOnly)) {
    logResult(log, JOB_IMAGE_OPEN_FAILED);
    return nullptr;
  }
  // Private to this user (0600), in the system's temporary directory.
  auto copy =
      std::make_unique<QTemporaryFile>(QDir::temp().filePath(QStringLiteral("tessil-XXXXXX.img")));
  bool written = copy->open() && copy->write(headerOf(format)) == TESSIL_IMAGE_HEADER_SIZE;
  qint64 copied = 0;
  while (written && copied < raw.size()) {
    const QByteArray data = raw.read(chunk);
    if (data.isEmpty()) {
      logResult(log, JOB_HEADER_READ_FAILED);
      return nullptr;
    }
    written = copy->write(data) == data.size();
    copied += data.size();
  }
  // The copy must hold the whole disk before the library is handed it.
  if (!written || copied != static_cast<qint64>(format.size) || !copy->flush()) {
    logResult(log, JOB_HEADER_WRITE_FAILED);
    return nullptr;
  }
  copy->close();
  return copy;
}

}  // namespace raw_image_write
