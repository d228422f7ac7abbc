// "Write image file to floppy" with a raw image: the library writes only
// tessil images, so the window says what the file is, asks, and hands the
// library a private tessil copy of it (a header for the size's format, no
// label, then the same sectors), which it removes once the write is over.
#pragma once

#include <QString>
#include <QTemporaryFile>
#include <functional>
#include <memory>
#include <optional>

#include "standard_formats.h"

class MessageLog;
class QWidget;

namespace raw_image_write {

// The standard format whose size the file has, or null: a tessil image, a
// device or anything else is not a raw image.
const tessil::StandardFormat* rawFormatOf(const QString& path);

// "a raw image of a 1.44 MB disk, without a label"
QString describe(const tessil::StandardFormat& format);

// Asks before a raw image is written; true on yes.
bool askToWrite(QWidget& parent, const QString& path, const tessil::StandardFormat& format);

// The private tessil copy of a raw image, or null with the failure logged;
// a short one is padded with zeros to `format`.
std::unique_ptr<QTemporaryFile> tessilCopyOf(const QString& path,
                                             const tessil::StandardFormat& format, MessageLog& log,
                                             bool short_raw = false);

// A file of no standard size that its name (.img, .ima, .vfd, .flp) makes a
// raw image, shorter than its disk as programs leave out empty trailing
// sectors. Its format is its FAT boot sector's, else the disk's (asked of
// `disk` only for such a file);
// `refusal` says why it cannot be written there.
struct ShortRaw {
  const tessil::StandardFormat* format = nullptr;
  uint64_t size = 0;
  QString sentence;  // what the file is, for the question
  QString refusal;
};
std::optional<ShortRaw> shortRawOf(const QString& path,
                                   const std::function<const tessil::StandardFormat*()>& disk,
                                   const QString& drive);

// Asks with `sentence` before a short raw image is written; true on yes.
bool askToWriteShort(QWidget& parent, const QString& sentence);

}  // namespace raw_image_write
