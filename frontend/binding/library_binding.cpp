#include "library_binding.h"

#include <QFile>
#include <QFileInfo>
#include <utility>

namespace {

// A text for the library: a NUL-terminated 8-bit copy in the locale's
// encoding. QByteArray keeps a NUL after its last byte.
QByteArray textCopy(const QString& text) {
  return text.toLocal8Bit();
}

// A file name as the file system expects it.
QByteArray fileNameCopy(const QString& path) {
  return QFile::encodeName(path);
}

// QLibrary tells a failed load as "<what failed>: (<the loader's text>)";
// the program has always shown the loader's own text.
QString loaderText(const QString& qt_text, const QString& what_failed) {
  const QString head = what_failed + QStringLiteral(": (");
  if (!qt_text.startsWith(head) || !qt_text.endsWith(QLatin1Char(')'))) return qt_text;
  return qt_text.mid(head.size(), qt_text.size() - head.size() - 1);
}

}  // namespace

LibraryBinding::LibraryBinding(QString directory, FailureHandler on_failure, QByteArray file_name)
    : directory_(std::move(directory)),
      on_failure_(std::move(on_failure)),
      file_name_(std::move(file_name)) {}

bool LibraryBinding::load() {
  if (loaded_) return true;
  const QString own = directory_.isEmpty()
                          ? QString()
                          : directory_ + QLatin1Char('/') + QFile::decodeName(file_name_);
  // A library in the program's own directory is the one that belongs to it:
  // if that file fails to load we report why rather than pick up another.
  library_.setFileName(!own.isEmpty() && QFileInfo::exists(own) ? own
                                                                : QFile::decodeName(file_name_));
  // Every symbol bound at once, none offered to libraries loaded later, and
  // never unloaded: a job may still run on its worker thread at exit.
  library_.setLoadHints(QLibrary::ResolveAllSymbolsHint | QLibrary::PreventUnloadHint);
  loaded_ = library_.load();
  if (!loaded_ && on_failure_)
    on_failure_(loaderText(library_.errorString(),
                           QStringLiteral("Cannot load library %1").arg(library_.fileName())));
  return loaded_;
}

QFunctionPointer LibraryBinding::lookUp(const char* name) {
  if (!load()) return nullptr;
  if (const QFunctionPointer address = library_.resolve(name)) return address;
  // QLibrary keeps none of the loader's words for a missing symbol; these
  // are the words the loader gives.
  if (on_failure_)
    on_failure_(library_.fileName() + QStringLiteral(": undefined symbol: ") + QLatin1String(name));
  return nullptr;
}

template <typename Function>
Function LibraryBinding::bind(Function& slot, const char* name) {
  if (!slot) slot = reinterpret_cast<Function>(lookUp(name));
  return slot;
}

int32_t LibraryBinding::getdriveinfo(const QString& drive, int32_t& cylinders,
                                     int32_t& tracks_per_cylinder, int32_t& sectors_per_track,
                                     int32_t& bytes_per_sector, int32_t& total_size) {
  const auto function = bind(getdriveinfo_, "getdriveinfo");
  if (!function) return 0;
  QByteArray drive_text = textCopy(drive);
  return function(drive_text.constData(), &cylinders, &tracks_per_cylinder, &sectors_per_track,
                  &bytes_per_sector, &total_size);
}

int32_t LibraryBinding::getimageinfo(const QString& image_path, QString& label) {
  const auto function = bind(getimageinfo_, "getimageinfo");
  if (!function) return 0;
  const QByteArray path = fileNameCopy(image_path);
  QByteArray buffer = textCopy(label);
  const qsizetype length = buffer.size();
  // The library writes up to a whole label field into the buffer, whatever
  // the caller's text: never hand it less room than that.
  if (buffer.size() < TESSIL_TEXT_SIZE) buffer.append(TESSIL_TEXT_SIZE - buffer.size(), '\0');
  const int32_t result = function(path.constData(), buffer.data());
  label = QString::fromLocal8Bit(buffer.constData(), length);
  return result;
}

int32_t LibraryBinding::readdisk(const QString& drive, const QString& image_path,
                                 const QString& label) {
  const auto function = bind(readdisk_, "readdisk");
  if (!function) return 1;
  const QByteArray drive_text = textCopy(drive);
  const QByteArray path = fileNameCopy(image_path);
  const QByteArray label_text = textCopy(label);
  return function(drive_text.constData(), path.constData(), label_text.constData());
}

int32_t LibraryBinding::writedisk(const QString& drive, const QString& image_path) {
  const auto function = bind(writedisk_, "writedisk");
  if (!function) return 1;
  const QByteArray drive_text = textCopy(drive);
  const QByteArray path = fileNameCopy(image_path);
  return function(drive_text.constData(), path.constData());
}

int32_t LibraryBinding::getporcentage() {
  const auto function = bind(getporcentage_, "getporcentage");
  return function ? function() : 0;
}

int32_t LibraryBinding::intcancel() {
  const auto function = bind(intcancel_, "intcancel");
  return function ? function() : 0;
}

int32_t LibraryBinding::retvalue() {
  const auto function = bind(retvalue_, "retvalue");
  return function ? function() : 0;
}

int32_t LibraryBinding::getreturnvalue() {
  const auto function = bind(getreturnvalue_, "getreturnvalue");
  return function ? function() : 0;
}

int32_t LibraryBinding::getversion() {
  const auto function = bind(getversion_, "getversion");
  return function ? function() : 0;
}
