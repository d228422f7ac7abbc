// The copy loop of both jobs: one block at a time from a source to a
// target, with progress after every block and a cancel between blocks.
#pragma once

#include <cstdint>
#include <span>

#include "job_request.h"
#include "platform/platform.h"

namespace tessil {

// The two ends of a copy, and the job's own trace lines.
class BlockEnds {
 public:
  virtual ~BlockEnds() = default;
  virtual platform::ReadResult take(std::span<std::byte> block) = 0;
  virtual platform::Error put(std::span<const std::byte> block) = 0;
  // After each read, with the bytes read so far.
  virtual void counted(uint64_t done) = 0;
};

enum class LoopEnd {
  source_done,    // a read delivered nothing: the end, or a failure
  target_failed,  // a block could not be put
  cancelled,
};

struct LoopResult {
  LoopEnd end = LoopEnd::source_done;
  uint64_t done = 0;                               // bytes read
  platform::Error reason = platform::Error::none;  // of the read or put that ended it
};

// Copies until the source delivers nothing, the target fails or the sink
// asks to stop. The sink is asked after every block, and before the first
// one only when `cancel_before_first` is set. `total` is the disk's size.
LoopResult copy_blocks(BlockEnds& ends, uint64_t total, JobSink& sink, bool cancel_before_first);

}  // namespace tessil
