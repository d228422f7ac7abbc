// Form1, the main window: the drive box, the four commands, the progress bar
// and the message list. It keeps no state of its own between events but the
// message numbering; whether a job runs is the library's to know.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

#include "common_dialog.h"
#include "job_poller.h"
#include "message_log.h"

class CloseGuard;
class DiskMenu;
class ReportOption;
class WindowRead;
class Form2;
class ImagingBackend;
class VerifyAfterWrite;
class LinkOpener;
class QTimer;

namespace tessil {
struct StandardFormat;
}

namespace Ui {
class Form1;
}  // namespace Ui

class Form1 : public QMainWindow {
  Q_OBJECT

 public:
  // `beep` sounds the desktop's alert when a job has been reported.
  Form1(ImagingBackend& backend, LinkOpener& links, std::function<void()> beep,
        QWidget* parent = nullptr);
  ~Form1() override;

  // Start-up: the fixed drive list, "A" and "B", with "A" chosen.
  void fillDriveBox();

  void LogMessage(int32_t code, const QString& message);

  // The open about window, or null.
  Form2* aboutWindow() const;
  CommonDialog& commonDialog() { return dialog_; }
  DiskMenu& diskMenu() { return *disk_; }
  QTimer& timer() { return *timer_; }

 public slots:
  // One tick of Timer1.
  void tick();
  // Stops a running job and closes once it is reported, without asking; a
  // termination signal does this.
  void stopAndClose();

 protected:
  // Asks before a running job is abandoned.
  void closeEvent(QCloseEvent* event) override;

 private:
  void getDiskInformation();
  void readFloppyToImageFile();
  void writeImageFileToFloppy();
  void cancelJob();
  void openAbout();

  // Each logs why and returns false when the command must end here.
  bool driveTest(QString& drive);
  bool busyTest();
  const tessil::StandardFormat* driveFormat(const QString& drive);
  void startPolling();

  std::unique_ptr<Ui::Form1> ui_;
  ImagingBackend& backend_;
  LinkOpener& links_;
  QTimer* timer_;
  CommonDialog dialog_;
  std::unique_ptr<MessageLog> log_;
  std::unique_ptr<JobPoller> poller_;
  std::unique_ptr<VerifyAfterWrite> verify_;
  std::unique_ptr<CloseGuard> close_guard_;
  std::unique_ptr<ReportOption> reports_;
  std::unique_ptr<WindowRead> read_;
  DiskMenu* disk_;
  QPointer<Form2> about_window_;
};
