// The main window's one reporting channel: numbered lines in List1.
#pragma once

#include <QString>
#include <cstdint>

class QListWidget;

class MessageLog {
 public:
  explicit MessageLog(QListWidget& list) : list_(list) {}

  // Appends "<line> : <code> : <message>" and selects it.
  void LogMessage(int32_t code, const QString& message);

  int64_t lines() const { return counter_; }
  // The line appended last, or empty.
  const QString& lastLine() const { return last_line_; }

 private:
  QListWidget& list_;
  // Wide enough that the numbering never wraps around.
  int64_t counter_ = 0;
  QString last_line_;
};
