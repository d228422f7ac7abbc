#include "close_guard.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "app_info.h"
#include "binding/imaging_backend.h"

CloseGuard::CloseGuard(QWidget& window, ImagingBackend& backend, QTimer& poll_timer)
    : window_(window), backend_(backend), poll_timer_(poll_timer) {}

void CloseGuard::jobStarted(Job job, const QString& drive) {
  job_ = job;
  drive_ = drive;
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
  stopping_ = false;
  return true;
}

void CloseGuard::stopAndClose() {
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
  backend_.intcancel();
  // Only a reported job lets the window close; a job this window did not
  // start has no poll yet.
  if (backend_.retvalue() != 0 && !poll_timer_.isActive()) poll_timer_.start();
}

bool CloseGuard::reported() const {
  return !poll_timer_.isActive();
}
