#include "link_opener.h"

#include <QDesktopServices>
#include <QUrl>

int32_t DesktopLinkOpener::shellExecute(WId /*window*/, const QString& operation,
                                        const QString& file, const QString& /*parameters*/,
                                        const QString& /*directory*/, int32_t /*show_command*/) {
  if (operation != QLatin1String("open")) return 0;
  const QUrl url(file, QUrl::StrictMode);
  if (!url.isValid() || url.isRelative()) return 0;
  return QDesktopServices::openUrl(url) ? 1 : 0;
}
