// The "Disk" menu, between "Options" and "About": "Rescue a damaged disk…"
// and "Format disk…", and the same rescue offered when a read from the
// window ends with a damaged disk. Each rescue gets a window of its own;
// closing the main window while one runs, or a format, asks first, as for
// a copy.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

#include "app/rescue_plan.h"

class MessageLog;
class QAction;
class QFileDialog;
class QMenu;
class QMenuBar;
class QWidget;
class RescueWindow;
class WindowFormat;

class DiskMenu : public QObject {
  Q_OBJECT

 public:
  struct Hooks {
    // The drive chosen in the main window, or empty when it is no drive
    // (the reason is logged).
    std::function<QString()> drive;
    std::function<QString()> label;
    // Whether a report goes beside each image.
    std::function<bool()> reports;
    // Moves the main window's progress bar, for a format.
    std::function<void(int percent)> progress;
  };

  // Puts the menu into `menu_bar`, before `about`.
  DiskMenu(QWidget& window, MessageLog& log, QMenuBar& menu_bar, QAction* about, Hooks hooks);
  ~DiskMenu() override;

  QMenu& menu() { return *menu_; }

  // A read from the window into `image` ended with a damaged disk: asks
  // whether to rescue the rest, and does on yes, going on from what the
  // read got. `partial`: for a raw image, the private tessil image that
  // holds it; empty for a tessil image.
  void offerRescue(const QString& drive, const QString& image, const QString& label,
                   const QString& partial);

  // Starts a rescue in a window of its own; a refusal is shown instead.
  RescueWindow* startRescue(tessil::app::DiskRescueRequest request);

  // For the main window's close: true when no rescue runs, or once the
  // rescues asked to stop have. Asks while one runs; `ask` false stops
  // them without asking (a termination signal).
  bool mayClose(bool ask = true);
  QList<RescueWindow*> rescues() const;

 private:
  void rescueFromMenu();
  bool anyRunning() const;

  QWidget& window_;
  MessageLog& log_;
  Hooks hooks_;
  QMenu* menu_;
  QFileDialog* dialog_ = nullptr;  // made when first needed
  QList<QPointer<RescueWindow>> windows_;
  WindowFormat* format_;
  bool closing_ = false;
};
