// Files as the window's tests make and read them: whole files, a patterned
// disk and the header of a 1.44 MB tessil image without a label.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

namespace test_files {

inline QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Every byte differs from its neighbours and from the same byte of another
// sector.
inline QByteArray patterned(qint64 size) {
  QByteArray bytes(size, '\0');
  for (qint64 i = 0; i < size; ++i) bytes[i] = char((i * 7 + i / 512) & 0xFF);
  return bytes;
}

inline QByteArray header144() {
  QByteArray header(316, '\0');
  const quint32 values[] = {80, 2, 18, 512};
  for (int i = 0; i < 4; ++i) qToLittleEndian(values[i], header.data() + 4 * i);
  return header;
}

}  // namespace test_files
