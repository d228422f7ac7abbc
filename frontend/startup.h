// What happens before the main window is first shown.
#pragma once

#include <QIcon>
#include <QString>

class ImagingBackend;

// The program's names, version and icon, where the desktop looks for them.
void describeApplication();
QIcon applicationIcon();

// Asks the library for the platform class, which loads it. Below 4 the
// program refuses to run: shows the message box and returns false once the
// user has dismissed it.
bool platformAccepted(ImagingBackend& backend);

// The library or one of its entry points could not be found: the loader's
// text goes unchanged to standard error and into a message box, and the
// program ends with a failure status.
[[noreturn]] void reportLoaderFailure(const QString& loader_text);
