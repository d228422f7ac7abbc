#include "common_dialog.h"

#include <QFileDialog>
#include <QWidget>

#include "image_kinds.h"

CommonDialog::CommonDialog(QWidget& parent) : dialog_(new QFileDialog(&parent)) {
  dialog_->setObjectName(QStringLiteral("CommonDialog1"));
  // No default suffix, no preset directory: a typed name is used as typed.
  // The save form offers the image kinds; the open form lists every file.
  // Whether the desktop's own dialog or Qt's is used follows
  // Qt::AA_DontUseNativeDialogs alone.
  dialog_->setFileMode(QFileDialog::AnyFile);
}

bool CommonDialog::showSave(const QString& title) {
  return show(title, true);
}

bool CommonDialog::showOpen(const QString& title) {
  return show(title, false);
}

bool CommonDialog::show(const QString& title, bool save) {
  // The save form asks before it replaces an existing file (Qt's default).
  dialog_->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog_->setFileMode(QFileDialog::AnyFile);
  if (save)
    image_kinds::offer(*dialog_);
  else
    dialog_->setNameFilters({image_kinds::all_filter});
  dialog_->setWindowTitle(title);
  if (!file_name_.isEmpty()) dialog_->selectFile(file_name_);
  if (dialog_->exec() != QDialog::Accepted) return false;
  const QStringList chosen = dialog_->selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty()) return false;
  file_name_ = chosen.first();
  return true;
}
