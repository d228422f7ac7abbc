// The program's own names, as its windows, its version record and the
// desktop files show them. The product name is the windows' fixed caption;
// the version is the project's, as the package and the manual pages have it.
#pragma once

#include <QString>

#include "build_version.h"

namespace app_info {

inline const QString product_name = QStringLiteral("Quillmark 1.0.0");
inline const QString file_description = QStringLiteral("Images from floppies");
inline const QString comments = QStringLiteral("Application to create images from floppies");
inline const QString version = QStringLiteral(TESSIL_VERSION);
inline const QString internal_name = QStringLiteral("tessil");
inline const QString organization = QStringLiteral("Quillmark");

inline const QString web_address = QStringLiteral("https://www.quillmark.example/");
inline const QString mail_address = QStringLiteral("support@quillmark.example");

}  // namespace app_info
