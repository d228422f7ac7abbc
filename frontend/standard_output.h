// Where the program's standard output goes. The library's geometry query
// prints its diagnostic lines to the standard output of whatever process
// loaded it; a desktop program has no console for them, so the window
// program, not the library, points its own standard output away from the
// terminal: to the library's debug destination when TESSIL_DEBUG names one
// (a file, or "stderr"), and otherwise to /dev/null. Other callers of the
// library keep the lines on their standard output.
#pragma once

// Call once, before the library is loaded and before anything is printed.
void routeStandardOutput();
