#include "window_format.h"

#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/format_disk.h"
#include "format_dialog.h"
#include "format_run.h"
#include "outcomes.h"
#include "platform/error_words.h"
#include "result_messages.h"
#include "tessil.h"

namespace {

QString words(std::string_view text) {
  return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

// What a format that did not end well came to, beyond its line.
QString details(const tessil::app::FormatRun& run, QChar drive) {
  const QString disk = QStringLiteral("the disk in drive %1").arg(drive);
  if (!run.refusal.empty()) return QString::fromStdString(run.refusal);
  const uint32_t tracks = run.format ? run.format->cylinders * run.format->heads : 0;
  if (run.result.stopped)
    return run.result.laid < tracks
               ? QStringLiteral("Stopped after %1 of %2 tracks: %3 is now only partly formatted.")
                     .arg(run.result.laid)
                     .arg(tracks)
                     .arg(disk)
               : QStringLiteral(
                     "Stopped while reading back: %1 is formatted, but not every "
                     "track was read back.")
                     .arg(disk);
  if (run.result.failed_track)
    return QStringLiteral("Cylinder %1 head %2 would not format: %3 is now only partly formatted.")
        .arg(run.result.failed_track->cylinder)
        .arg(run.result.failed_track->head)
        .arg(disk);
  if (!run.result.unreadable.empty())
    return QStringLiteral("Tracks that did not read back: %1.")
        .arg(QString::fromStdString(tessil::app::tracks_words(run.result.unreadable)));
  return QStringLiteral("Formatting %1 failed: %2.")
      .arg(disk, words(tessil::platform::error_words(run.reason)));
}

}  // namespace

WindowFormat::WindowFormat(QWidget& window, MessageLog& log, std::function<void(int)> show_progress)
    : QObject(&window),
      window_(window),
      log_(log),
      show_progress_(std::move(show_progress)),
      timer_(new QTimer(this)) {
  timer_->setInterval(FormatRun::look_interval);
  connect(timer_, &QTimer::timeout, this, &WindowFormat::look);
}

WindowFormat::~WindowFormat() = default;

bool WindowFormat::running() const {
  return run_ && !run_->finished();
}

void WindowFormat::stop(bool quietly) {
  if (!running()) return;
  quiet_ = quiet_ || quietly;
  run_->stop();
  if (cancel_) cancel_->setEnabled(false);
}

QString WindowFormat::runningText() const {
  if (!run_) return {};
  return QStringLiteral("Formatting the disk in drive %1, %2 %")
      .arg(QLatin1Char(run_->request().letter))
      .arg(run_->percent());
}

void WindowFormat::ask(QChar drive) {
  if (running()) return;
  const std::vector<const tessil::StandardFormat*> formats =
      tessil::app::drive_formats(drive.toLatin1());
  if (formats.empty()) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Format disk"),
                    QStringLiteral("Drive %1 cannot be formatted: format works on floppy "
                                   "drives only")
                        .arg(drive),
                    QMessageBox::Ok, &window_);
    box.setObjectName(QStringLiteral("FormatRefused"));
    box.exec();
    return;
  }
  FormatDialog dialog(drive, formats, &window_);
  if (dialog.exec() != QDialog::Accepted || !dialog.format()) return;
  const QString name = words(dialog.format()->name);
  QMessageBox question(QMessageBox::Question, QStringLiteral("Format disk"),
                       QStringLiteral("Format the disk in drive %1 as %2? Everything on it will "
                                      "be lost.")
                           .arg(drive, name),
                       QMessageBox::Yes | QMessageBox::No, &window_);
  question.setObjectName(QStringLiteral("FormatQuestion"));
  question.setDefaultButton(QMessageBox::No);
  if (question.exec() != QMessageBox::Yes) return;
  tessil::app::FormatRequest request;
  request.letter = drive.toLatin1();
  request.format = dialog.format();
  request.fat = dialog.fat();
  request.label = dialog.label().toStdString();
  run_ = std::make_unique<FormatRun>(std::move(request));
  quiet_ = false;
  start(drive, name);
}

void WindowFormat::start(QChar drive, const QString& format_name) {
  auto* progress = new QDialog(&window_);
  progress->setObjectName(QStringLiteral("FormatProgress"));
  progress->setWindowTitle(QStringLiteral("Format disk"));
  progress->setAttribute(Qt::WA_DeleteOnClose);
  auto* text = new QLabel(
      QStringLiteral("Formatting the disk in drive %1 as %2").arg(drive, format_name), progress);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), progress);
  cancel_->setObjectName(QStringLiteral("cancelFormat"));
  auto* layout = new QVBoxLayout(progress);
  layout->addWidget(text);
  layout->addWidget(cancel_, 0, Qt::AlignRight);
  connect(cancel_, &QPushButton::clicked, this, [this] { stop(); });
  // Closing it asks the stop too.
  connect(progress, &QDialog::rejected, this, [this] { stop(); });
  progress_ = progress;
  progress->show();
  if (show_progress_) show_progress_(0);
  timer_->start();
}

void WindowFormat::look() {
  if (!run_) return;
  if (show_progress_) show_progress_(run_->percent());
  if (run_->finished()) showEnd();
}

void WindowFormat::showEnd() {
  timer_->stop();
  if (progress_) progress_->close();
  cancel_ = nullptr;
  const tessil::app::FormatRun& run = run_->result();
  logResult(log_, run.code);
  if (run.code != tessil::outcome::done && !quiet_) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Format disk"),
                    details(run, QLatin1Char(run_->request().letter)), QMessageBox::Ok, &window_);
    box.setObjectName(QStringLiteral("FormatResult"));
    box.exec();
  }
  emit finished();
}
