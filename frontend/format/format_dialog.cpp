#include "format_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>
#include <string>

#include "app/format_disk.h"
#include "format/empty_fat.h"

namespace {

// The most a FAT volume label holds.
constexpr int label_length = 11;

QString nameOf(const tessil::StandardFormat& format) {
  return QString::fromLatin1(format.name.data(), qsizetype(format.name.size()));
}

}  // namespace

FormatDialog::FormatDialog(QChar drive, std::vector<const tessil::StandardFormat*> formats,
                           QWidget* parent)
    : QDialog(parent),
      formats_(std::move(formats)),
      type_(new QComboBox(this)),
      fat_(new QCheckBox(QStringLiteral("Put an empty FAT file system on it"), this)),
      label_(new QLineEdit(this)),
      problem_(new QLabel(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
  setObjectName(QStringLiteral("FormatDialog"));
  setWindowTitle(QStringLiteral("Format disk"));
  type_->setObjectName(QStringLiteral("formatType"));
  type_->setAccessibleName(QStringLiteral("Format"));
  for (const tessil::StandardFormat* format : formats_) type_->addItem(nameOf(*format));
  const auto own = std::find(formats_.begin(), formats_.end(), tessil::app::own_format(formats_));
  type_->setCurrentIndex(own == formats_.end() ? type_->count() - 1 : int(own - formats_.begin()));
  fat_->setObjectName(QStringLiteral("emptyFat"));
  fat_->setChecked(true);
  label_->setObjectName(QStringLiteral("volumeLabel"));
  label_->setAccessibleName(QStringLiteral("Volume label"));
  label_->setMaxLength(label_length);
  problem_->setObjectName(QStringLiteral("labelProblem"));
  problem_->setWordWrap(true);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Format the disk in drive %1 as").arg(drive), type_);
  form->addRow(fat_);
  form->addRow(QStringLiteral("Volume label"), label_);
  form->addRow(problem_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons_);

  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(fat_, &QCheckBox::toggled, this, &FormatDialog::check);
  connect(label_, &QLineEdit::textChanged, this, &FormatDialog::check);
  check();
}

const tessil::StandardFormat* FormatDialog::format() const {
  const int index = type_->currentIndex();
  return index < 0 ? nullptr : formats_.at(std::size_t(index));
}

bool FormatDialog::fat() const {
  return fat_->isChecked();
}

QString FormatDialog::label() const {
  return fat() ? label_->text() : QString();
}

void FormatDialog::check() {
  label_->setEnabled(fat());
  const std::optional<std::string> problem =
      fat() ? tessil::format::fat_label_problem(label_->text().toStdString()) : std::nullopt;
  problem_->setText(problem ? QString::fromStdString(*problem) : QString());
  problem_->setVisible(problem.has_value());
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(!problem);
}
