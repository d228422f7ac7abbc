// tessil: copies whole floppy disks into image files and back, through the
// imaging library libtessil.so, which it loads at run time.
#include <QApplication>
#include <cstdlib>

#include "app/read_report.h"
#include "binding/library_binding.h"
#include "binding/program_directory.h"
#include "command_line.h"
#include "form1.h"
#include "link_opener.h"
#include "standard_output.h"
#include "startup.h"
#include "termination_signals.h"

int main(int argc, char* argv[]) {
  // Before QApplication, which needs a display.
  if (const std::optional<int> status = handleCommandLine(argc, argv)) return *status;
  routeStandardOutput();
  // The reports the window leaves name it, as the command line's name it.
  tessil::app::remember_command_line(argc, argv, "tessil");
  QApplication application(argc, argv);
  describeApplication();

  LibraryBinding library(programDirectory(), reportLoaderFailure);
  if (!platformAccepted(library)) return EXIT_FAILURE;

  DesktopLinkOpener links;
  Form1 window(library, links, [] { QApplication::beep(); });
  window.fillDriveBox();
  window.show();
  // SIGTERM and SIGINT stop a running copy and close as the window would.
  TerminationSignals termination;
  QObject::connect(&termination, &TerminationSignals::received, &window, &Form1::stopAndClose);
  return application.exec();
}
