// "Format disk": the formats the drive can give a disk (largest first
// chosen), whether an empty FAT file system goes on it and its volume
// label. OK stays disabled while the label is one FAT refuses, and the
// reason shows under it.
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

#include "standard_formats.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;

class FormatDialog : public QDialog {
  Q_OBJECT

 public:
  // `formats`: the drive's, smallest first; not empty.
  FormatDialog(QChar drive, std::vector<const tessil::StandardFormat*> formats,
               QWidget* parent = nullptr);

  const tessil::StandardFormat* format() const;
  bool fat() const;
  QString label() const;

 private:
  void check();

  std::vector<const tessil::StandardFormat*> formats_;
  QComboBox* type_;
  QCheckBox* fat_;
  QLineEdit* label_;
  QLabel* problem_;
  QDialogButtonBox* buttons_;
};
