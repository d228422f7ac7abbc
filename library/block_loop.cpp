#include "block_loop.h"

#include <array>

#include "progress.h"
#include "tessil.h"

namespace tessil {

LoopResult copy_blocks(BlockEnds& ends, uint64_t total, JobSink& sink, bool cancel_before_first) {
  LoopResult result;
  std::array<std::byte, TESSIL_BLOCK_SIZE> block;
  for (bool first = true;; first = false) {
    if ((cancel_before_first || !first) && sink.cancel_requested()) {
      result.end = LoopEnd::cancelled;
      return result;
    }
    const platform::ReadResult got = ends.take(block);
    result.done += got.count;
    sink.progress({progress_percent(total, result.done), result.done, total});
    ends.counted(result.done);
    if (got.count == 0) {
      result.end = LoopEnd::source_done;
      result.reason = got.error;
      return result;
    }
    // A short block (a failed part, or the end) still goes out whole as far
    // as it was read.
    if (const platform::Error put = ends.put(std::span(block).first(got.count));
        put != platform::Error::none) {
      result.end = LoopEnd::target_failed;
      result.reason = put;
      return result;
    }
  }
}

}  // namespace tessil
