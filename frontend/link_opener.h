// Opens a web or mail address with the desktop's handler. Takes the six
// arguments of the desktop shell's "open" request so the about window hands
// over exactly what it means; the answer is never examined.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>

class LinkOpener {
 public:
  static constexpr int32_t show_normal = 1;

  virtual ~LinkOpener() = default;
  virtual int32_t shellExecute(WId window, const QString& operation, const QString& file,
                               const QString& parameters, const QString& directory,
                               int32_t show_command) = 0;
};

// Hands "open" requests to QDesktopServices, never to a shell.
class DesktopLinkOpener final : public LinkOpener {
 public:
  int32_t shellExecute(WId window, const QString& operation, const QString& file,
                       const QString& parameters, const QString& directory,
                       int32_t show_command) override;
};
