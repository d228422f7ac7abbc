// CommonDialog1: the one file dialog that serves both the save and the open
// command. It keeps the name last chosen in either and offers it again.
#pragma once

#include <QString>

class QFileDialog;
class QWidget;

class CommonDialog {
 public:
  explicit CommonDialog(QWidget& parent);

  // Each returns false when the user cancelled or the dialog could not be
  // shown; then nothing else changes.
  bool showSave(const QString& title);
  bool showOpen(const QString& title);

  // The full path last chosen.
  QString fileName() const { return file_name_; }

  QFileDialog& dialog() { return *dialog_; }

 private:
  bool show(const QString& title, bool save);

  QFileDialog* dialog_;
  QString file_name_;
};
