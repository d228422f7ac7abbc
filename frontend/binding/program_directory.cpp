#include "program_directory.h"

#include <QCoreApplication>

QString programDirectory() {
  return QCoreApplication::applicationDirPath();
}
