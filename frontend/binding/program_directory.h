#pragma once

#include <QString>

// The directory of the running executable. Asked only once the application
// object exists, as Qt needs it to; empty before.
QString programDirectory();
