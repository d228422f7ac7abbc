#include "message_log.h"

#include <QListWidget>

void MessageLog::LogMessage(int32_t code, const QString& message) {
  ++counter_;
  const QString line = QString::number(counter_) + QStringLiteral(" : ") + QString::number(code) +
                       QStringLiteral(" : ") + message;
  list_.addItem(line);
  last_line_ = line;
  QListWidgetItem* item = list_.item(list_.count() - 1);
  list_.setCurrentItem(item);
  list_.scrollToItem(item);
}
