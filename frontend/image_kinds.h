// The image kinds a save dialog offers, and which one the user chose: a
// tessil image, a raw image, or by its name under "All files".
#pragma once

#include <QString>
#include <QStringList>

class QFileDialog;

namespace image_kinds {

inline const QString tessil_filter = QStringLiteral("tessil image (*.tsl)");
inline const QString raw_filter = QStringLiteral("Raw image (*.img *.ima)");
inline const QString all_filter = QStringLiteral("All files (*)");

// Offers the kinds on `dialog`, the tessil image first.
void offer(QFileDialog& dialog);

// Whether the file `path`, chosen in `dialog`, is to be a raw image.
bool rawChosen(const QFileDialog& dialog, const QString& path);

}  // namespace image_kinds
