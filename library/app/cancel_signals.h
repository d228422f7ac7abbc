// Ctrl-C (SIGINT) and SIGTERM as a request to cancel the running job: while
// an instance lives, either signal only raises a flag that the job reads
// between blocks, so the job stops cleanly and the program exits with its
// code.
#pragma once

namespace tessil::app {

class CancelSignals {
 public:
  // Clears the flag and takes both signals over. Instances nest on one
  // thread: an inner one (a job inside a batch) leaves the flag and the
  // handling to the outermost, so a signal between two jobs is not lost.
  CancelSignals();
  // The outermost gives both signals back their previous handling.
  ~CancelSignals();
  CancelSignals(const CancelSignals&) = delete;
  CancelSignals& operator=(const CancelSignals&) = delete;

  // True once either signal arrived. Safe on any thread.
  static bool requested();
};

}  // namespace tessil::app
