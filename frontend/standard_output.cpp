#include "standard_output.h"

#include "platform/platform.h"

void routeStandardOutput() {
  // TESSIL_DEBUG is read as the library's debug channel reads it, so that
  // its notices and the printed lines end up in the same place.
  tessil::platform::current().route_standard_output_to_debug();
}
