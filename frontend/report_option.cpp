#include "report_option.h"

#include <QAction>
#include <QMenu>
#include <QSettings>

namespace {

const QString setting_key = QStringLiteral("writeReports");

}  // namespace

ReportOption::ReportOption(QMenu& options)
    : action_(options.addAction(QStringLiteral("Write a report beside each image"))) {
  action_->setObjectName(QStringLiteral("writeReports"));
  action_->setCheckable(true);
  action_->setChecked(QSettings().value(setting_key, false).toBool());
  QObject::connect(action_, &QAction::toggled,
                   [](bool on) { QSettings().setValue(setting_key, on); });
}

bool ReportOption::enabled() const {
  return action_->isChecked();
}
