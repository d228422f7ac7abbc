#include "image_kinds.h"

#include <QFile>
#include <QFileDialog>

#include "standard_formats.h"

namespace image_kinds {

void offer(QFileDialog& dialog) {
  dialog.setNameFilters({tessil_filter, raw_filter, all_filter});
  dialog.selectNameFilter(tessil_filter);
}

bool rawChosen(const QFileDialog& dialog, const QString& path) {
  const QString filter = dialog.selectedNameFilter();
  if (filter == raw_filter) return true;
  if (filter == tessil_filter) return false;
  return tessil::raw_image_name(QFile::encodeName(path).toStdString());
}

}  // namespace image_kinds
