#include "program_directory.h"

#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <array>

QString programDirectory() {
  std::array<char, 4096> buffer{};
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return {};
  const QString executable = QFile::decodeName(QByteArray(buffer.data(), length));
  return QFileInfo(executable).absolutePath();
}
