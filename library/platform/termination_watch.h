// Requests from outside to end the program (Ctrl-C, a kill): while a watch
// lives, each is only noted, so that the program ends at a moment of its
// own choosing, in between blocks, and never in the middle of one.
#pragma once

#include <vector>

namespace tessil::platform {

// Whether a request that the program was started to ignore (nohup, a job
// in the background) stays ignored while a watch lives.
enum class WhenIgnored { take_over, leave_ignored };

class TerminationWatch {
 public:
  // Gives the requests back their previous effect.
  virtual ~TerminationWatch() = default;

  // True once a request came while this watch lived. Safe on any thread.
  virtual bool requested() const = 0;

  // A descriptor that turns readable when a request comes, for an event
  // loop that waits on descriptors; -1 where there is none.
  virtual int event_descriptor() const { return -1; }

  // Empties the descriptor: the requests that came since the last call, by
  // the system's number for each, oldest first.
  virtual std::vector<int> take_requests() { return {}; }
};

}  // namespace tessil::platform
