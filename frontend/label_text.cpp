#include "label_text.h"

#include <QLineEdit>
#include <algorithm>

namespace label_text {

QString fitted(const QString& text) {
  if (text.toLocal8Bit().size() <= max_bytes) return text;
  qsizetype bytes = 0;
  qsizetype end = 0;
  while (end < text.size()) {
    const qsizetype width = text.at(end).isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
    bytes += text.mid(end, width).toLocal8Bit().size();
    if (bytes > max_bytes) break;
    end += width;
  }
  return text.left(end);
}

QString blankBuffer() {
  return QString(buffer_length, QLatin1Char(' '));
}

QString fromBuffer(const QString& buffer) {
  const qsizetype nul = buffer.indexOf(QChar(u'\0'));
  return nul < 0 ? buffer : buffer.left(nul);
}

void limitUserInput(QLineEdit& box) {
  // textEdited fires for the user's changes only, so a label read back from
  // an image is shown whole.
  QObject::connect(&box, &QLineEdit::textEdited, &box, [&box](const QString& text) {
    const QString fit = fitted(text);
    if (fit.size() == text.size()) return;
    const int cursor = box.cursorPosition();
    box.setText(fit);
    box.setCursorPosition(std::min<int>(cursor, static_cast<int>(fit.size())));
  });
}

}  // namespace label_text
