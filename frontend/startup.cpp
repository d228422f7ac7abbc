#include "startup.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

#include "app_info.h"
#include "binding/imaging_backend.h"

namespace {

// Classes 0 to 3: a platform the library does not know, or one it refuses.
constexpr int32_t lowest_accepted_class = 4;

}  // namespace

void describeApplication() {
  QApplication::setApplicationName(app_info::internal_name);
  QApplication::setApplicationDisplayName(app_info::product_name);
  QApplication::setApplicationVersion(app_info::version);
  QApplication::setOrganizationName(app_info::organization);
  QGuiApplication::setDesktopFileName(app_info::internal_name);
  QApplication::setWindowIcon(applicationIcon());
}

QIcon applicationIcon() {
  // The icons live in this static library; nothing else would pull them in.
  Q_INIT_RESOURCE(tessil);
  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/16/tessil.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/icons/32/tessil.png"), QSize(32, 32));
  return icon;
}

bool platformAccepted(ImagingBackend& backend) {
  if (backend.getversion() >= lowest_accepted_class) return true;
  QMessageBox box(QMessageBox::NoIcon, app_info::product_name,
                  QStringLiteral("Can only run on NT4.0/2000/XP/Vista"), QMessageBox::Ok);
  box.exec();
  return false;
}

void reportLoaderFailure(const QString& loader_text) {
  const QByteArray line = loader_text.toLocal8Bit() + '\n';
  std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
  std::fflush(stderr);
  QMessageBox box(QMessageBox::Critical, app_info::product_name, loader_text, QMessageBox::Ok);
  box.exec();
  // A job may still run on the library's worker: end without running
  // destructors under its feet, but hand over what was printed.
  std::fflush(nullptr);
  std::_Exit(EXIT_FAILURE);
}
