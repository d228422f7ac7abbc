#include "close_guard.h"

#include <QApplication>
#include <QDialog>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "app_info.h"
#include "binding/imaging_backend.h"
#include "message_log.h"

namespace {

// The library's code for a job ended by a cancel.
constexpr int32_t job_cancelled = 105;

void writeToStandardError(const QString& text) {
  const QByteArray line =
      (app_info::internal_name + QStringLiteral(": ") + text).toLocal8Bit() + '\n';
  std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
  std::fflush(stderr);
}

}  // namespace

CloseGuard::CloseGuard(QWidget& window, ImagingBackend& backend, QTimer& poll_timer,
                       const MessageLog& log)
    : window_(window), backend_(backend), poll_timer_(poll_timer), log_(log) {}

void CloseGuard::jobStarted(Job job, const QString& drive) {
  job_ = job;
  drive_ = drive;
  stop_reported_ = false;
}

QString CloseGuard::runningText() const {
  const QString percent = QString::number(std::clamp(backend_.getporcentage(), 0, 100));
  switch (job_) {
    case Job::writing:
      return QStringLiteral("Writing the image to drive %1, %2 %").arg(drive_, percent);
    case Job::reading:
      return QStringLiteral("Reading drive %1 into the image, %2 %").arg(drive_, percent);
    case Job::verifying:
      return QStringLiteral("Verifying the disk in drive %1, %2 %").arg(drive_, percent);
    case Job::unknown:
      break;
  }
  return QStringLiteral("A copy is running, %1 %").arg(percent);
}

bool CloseGuard::mayClose() {
  if (!stopping_) {
    if (backend_.retvalue() == 0) return true;
    switch (ask()) {
      case Answer::keep:
        return false;
      case Answer::moot:
        return true;
      case Answer::stop:
        beginStop();
        break;
    }
  }
  if (!reported()) return false;
  reportStop();
  stopping_ = false;
  return true;
}

void CloseGuard::stopAndClose() {
  by_signal_ = true;
  if (question_) {
    stop_button_->click();
    return;
  }
  // A file dialog left open would keep the program running without its
  // window.
  for (int guard = 0; guard < 10; ++guard) {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) break;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    } else {
      modal->close();
    }
  }
  if (!stopping_ && backend_.retvalue() != 0) beginStop();
  window_.close();
}

void CloseGuard::afterTick() {
  if (question_) {
    // The job ended on its own while the user read the question: nothing is
    // left to stop, and the close goes ahead.
    if (reported()) {
      moot_ = true;
      question_->reject();
    } else {
      question_->setText(runningText());
    }
    return;
  }
  if (stopping_ && reported()) window_.close();
}

CloseGuard::Answer CloseGuard::ask() {
  QMessageBox box(QMessageBox::Question, app_info::product_name, runningText(),
                  QMessageBox::NoButton, &window_);
  box.setObjectName(QStringLiteral("CloseQuestion"));
  switch (job_) {
    case Job::writing:
      box.setInformativeText(
          QStringLiteral("Stopping leaves the disk in drive %1 partly written.").arg(drive_));
      break;
    case Job::reading:
      box.setInformativeText(QStringLiteral("Stopping leaves the image file incomplete."));
      break;
    case Job::verifying:
      box.setInformativeText(
          QStringLiteral("The disk is written; stopping skips the rest of its verify."));
      break;
    case Job::unknown:
      box.setInformativeText(QStringLiteral("Stopping leaves the copy incomplete."));
      break;
  }
  stop_button_ = box.addButton(QStringLiteral("Stop and close"), QMessageBox::DestructiveRole);
  QPushButton* keep = box.addButton(QStringLiteral("Keep copying"), QMessageBox::RejectRole);
  box.setDefaultButton(keep);
  box.setEscapeButton(keep);
  question_ = &box;
  moot_ = false;
  box.exec();
  const bool stop = box.clickedButton() == stop_button_;
  question_ = nullptr;
  stop_button_ = nullptr;
  if (moot_) return Answer::moot;
  return stop ? Answer::stop : Answer::keep;
}

void CloseGuard::beginStop() {
  stopping_ = true;
  // Taken now: once the job has ended the library reports 100 %.
  stop_percent_ = std::clamp(backend_.getporcentage(), 0, 100);
  backend_.intcancel();
  // Only a reported job lets the window close; a job this window did not
  // start has no poll yet.
  if (backend_.retvalue() != 0 && !poll_timer_.isActive()) poll_timer_.start();
}

bool CloseGuard::reported() const {
  return !poll_timer_.isActive();
}

void CloseGuard::reportStop() {
  // Once: a signal during the box closes the window a second time.
  if (stop_reported_) return;
  stop_reported_ = true;
  const QString outcome = log_.lastLine();
  // A stop that came after the job had ended leaves nothing half-copied.
  const QString place = backend_.getreturnvalue() == job_cancelled ? stopPlace() : QString();
  writeToStandardError(outcome);
  if (!place.isEmpty()) writeToStandardError(place);
  if (by_signal_) return;
  QMessageBox box(QMessageBox::Information, app_info::product_name, outcome, QMessageBox::Ok,
                  &window_);
  box.setObjectName(QStringLiteral("StoppedCopy"));
  box.setInformativeText(place);
  box.exec();
}

// The library tells only the percentage done, and the job stops at the end
// of the block it writes when the cancel comes: the sector is derived from
// the percentage at the cancel and the drive's geometry, so it is "about".
QString CloseGuard::stopPlace() {
  const int32_t percent = stop_percent_;
  int32_t cylinders = 0;
  int32_t heads = 0;
  int32_t sectors_per_track = 0;
  int32_t bytes_per_sector = 0;
  int32_t total_size = 0;
  qint64 sectors = 0;
  if (!drive_.isEmpty() && backend_.getdriveinfo(drive_, cylinders, heads, sectors_per_track,
                                                 bytes_per_sector, total_size) == 1)
    sectors = qint64{cylinders} * heads * sectors_per_track;
  const QLocale english(QLocale::English, QLocale::UnitedStates);
  const QString where =
      sectors > 0 ? QStringLiteral("about sector %1 of %2 (%3 %)")
                        .arg(english.toString(sectors * percent / 100), english.toString(sectors))
                        .arg(percent)
                  : QStringLiteral("about %1 % of the disk").arg(percent);
  switch (job_) {
    case Job::writing:
      return QStringLiteral(
                 "Stopped at %1: the disk in drive %2 holds the new image up to there and its "
                 "old data after.")
          .arg(where, drive_);
    case Job::reading:
      return QStringLiteral(
                 "Stopped at %1: the image file is incomplete, it holds the disk only up to "
                 "there.")
          .arg(where);
    case Job::verifying:
      return QStringLiteral("The verify stopped at %1; the disk had been written in full.")
          .arg(where);
    case Job::unknown:
      break;
  }
  return QStringLiteral("Stopped at %1: the copy is incomplete after there.").arg(where);
}
