#pragma once

#include <QString>

// The directory of the running executable, from /proc/self/exe. Empty when
// the link cannot be read.
QString programDirectory();
