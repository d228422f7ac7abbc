#include "disk_menu.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>

#include "app/read_report.h"
#include "format/window_format.h"
#include "image_kinds.h"
#include "message_log.h"
#include "outcomes.h"
#include "rescue_window.h"
#include "result_messages.h"
#include "tessil.h"
#include "window_read.h"

namespace {

std::string bytes(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

}  // namespace

DiskMenu::DiskMenu(QWidget& window, MessageLog& log, QMenuBar& menu_bar, QAction* about,
                   Hooks hooks)
    : QObject(&window),
      window_(window),
      log_(log),
      hooks_(std::move(hooks)),
      menu_(new QMenu(QStringLiteral("Disk"), &menu_bar)),
      format_(new WindowFormat(window, log, hooks_.progress)) {
  menu_->setObjectName(QStringLiteral("disk"));
  QAction* rescue = menu_->addAction(QStringLiteral("Rescue a damaged disk\u2026"));
  rescue->setObjectName(QStringLiteral("rescueDamagedDisk"));
  connect(rescue, &QAction::triggered, this, &DiskMenu::rescueFromMenu);
  QAction* format = menu_->addAction(QStringLiteral("Format disk\u2026"));
  format->setObjectName(QStringLiteral("formatDisk"));
  connect(format, &QAction::triggered, this, [this] {
    const QString drive = hooks_.drive();
    if (!drive.isEmpty()) format_->ask(drive.at(0));
  });
  connect(format_, &WindowFormat::finished, this, [this] {
    if (closing_ && !anyRunning()) window_.close();
  });
  menu_bar.insertMenu(about, menu_);
}

DiskMenu::~DiskMenu() = default;

void DiskMenu::rescueFromMenu() {
  const QString drive = hooks_.drive();
  if (drive.isEmpty()) return;
  if (!dialog_) {
    dialog_ = new QFileDialog(&window_);
    dialog_->setObjectName(QStringLiteral("RescueDialog"));
    dialog_->setAcceptMode(QFileDialog::AcceptSave);
    // An existing image is not replaced: the rescue goes on with it.
    dialog_->setOption(QFileDialog::DontConfirmOverwrite);
    dialog_->setWindowTitle(QStringLiteral("Rescue into the image file"));
    image_kinds::offer(*dialog_);
  }
  if (dialog_->exec() != QDialog::Accepted || dialog_->selectedFiles().isEmpty()) return;
  const QString image = dialog_->selectedFiles().first();
  tessil::app::DiskRescueRequest request;
  request.letter = drive.at(0).toLatin1();
  request.image = bytes(image);
  request.label = hooks_.label().toStdString();
  request.raw = image_kinds::rawChosen(*dialog_, image);
  startRescue(std::move(request));
}

void DiskMenu::offerRescue(const QString& drive, const QString& image, const QString& label,
                           const QString& partial) {
  QMessageBox box(
      QMessageBox::Question, QStringLiteral("Rescue"),
      QStringLiteral("The disk in drive %1 is damaged. Rescue what can still be read?").arg(drive),
      QMessageBox::Yes | QMessageBox::No, &window_);
  box.setObjectName(QStringLiteral("RescueQuestion"));
  box.setDefaultButton(QMessageBox::Yes);
  if (box.exec() != QMessageBox::Yes) return;
  const bool raw = !partial.isEmpty();
  if (raw && !rawFromFailedRead(partial, image)) {
    logResult(log_, JOB_IMAGE_CREATE_FAILED);
    return;
  }
  tessil::app::DiskRescueRequest request;
  request.letter = drive.at(0).toLatin1();
  request.image = bytes(image);
  request.label = label.toStdString();
  request.raw = raw;
  request.after_failed_read = true;
  startRescue(std::move(request));
}

RescueWindow* DiskMenu::startRescue(tessil::app::DiskRescueRequest request) {
  request.report = hooks_.reports && hooks_.reports();
  request.command_line = "tessil: rescue of drive " + std::string(1, request.letter);
  const tessil::app::RescuePlan plan = tessil::app::plan_rescue(request);
  if (plan.refused()) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Rescue"),
                    QString::fromStdString(plan.refusal), QMessageBox::Ok, &window_);
    box.setObjectName(QStringLiteral("RescueRefused"));
    box.exec();
    return nullptr;
  }
  auto* rescue = new RescueWindow(std::move(request), plan, &window_);
  windows_.append(rescue);
  connect(rescue, &RescueWindow::finished, this, [this](int32_t result) {
    // The message list keeps the lines it has always had: a disk with
    // sectors still missing is a damaged disk, as a read says.
    const ResultMessage message =
        resultMessage(result == tessil::outcome::sectors_missing ? JOB_SHORT_READ : result);
    log_.LogMessage(message.code, message.text);
    if (closing_ && !anyRunning()) window_.close();
  });
  rescue->setWindowIcon(window_.windowIcon());
  rescue->show();
  return rescue;
}

QList<RescueWindow*> DiskMenu::rescues() const {
  QList<RescueWindow*> open;
  for (const QPointer<RescueWindow>& w : windows_)
    if (w) open.append(w.data());
  return open;
}

bool DiskMenu::anyRunning() const {
  if (format_->running()) return true;
  for (RescueWindow* w : rescues())
    if (w->running()) return true;
  return false;
}

bool DiskMenu::mayClose(bool ask) {
  if (!anyRunning()) return true;
  if (closing_) return false;
  if (ask) {
    QStringList running;
    for (RescueWindow* w : rescues())
      if (w->running()) running << w->runningText();
    const bool rescuing = !running.isEmpty();
    if (format_->running()) running << format_->runningText();
    QMessageBox box(QMessageBox::Question, window_.windowTitle(), running.join(QLatin1Char('\n')),
                    QMessageBox::NoButton, &window_);
    box.setObjectName(QStringLiteral("RescueCloseQuestion"));
    QStringList after;
    if (rescuing)
      after << QStringLiteral(
          "Stopping keeps what was rescued: the image and its map agree, and "
          "a rescue into the same image goes on from there.");
    if (format_->running())
      after << QStringLiteral("Stopping a format leaves the disk only partly formatted.");
    box.setInformativeText(after.join(QLatin1Char('\n')));
    QPushButton* stop = box.addButton(QStringLiteral("Stop and close"), QMessageBox::AcceptRole);
    box.addButton(rescuing ? QStringLiteral("Keep rescuing") : QStringLiteral("Keep formatting"),
                  QMessageBox::RejectRole);
    box.exec();
    if (box.clickedButton() != stop) return false;
    // It may have ended while the question was open.
    if (!anyRunning()) return true;
  }
  closing_ = true;
  for (RescueWindow* w : rescues()) w->stop();
  format_->stop(true);
  return false;
}
