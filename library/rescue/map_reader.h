// Reads a mapfile piece by piece as it comes from its file, in one pass
// straight into the state of each sector, so that the time a map takes is
// that of its text and the memory that of the disk, and whoever feeds it
// can look for a stop request between two pieces.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rescue/rescue_map.h"

namespace tessil::rescue {

class MapReader {
 public:
  // Longer lines are refused, so that a line costs bounded memory.
  static constexpr std::size_t max_line = 64 * 1024;

  // Sectors of `sector_size` bytes, of a disk of `max_size` bytes: a map
  // that reaches past it is refused.
  MapReader(uint64_t sector_size, uint64_t max_size);

  // Takes the next piece of the text. False once the text is known not to
  // be a usable map; error() says why.
  bool feed(std::string_view piece);
  // The map, once every piece was fed; nothing, with error(), when the
  // text is not a usable map.
  std::optional<RescueMap> finish();
  const std::string& error() const { return error_; }

 private:
  bool line(std::string_view text);
  bool area(uint64_t pos, uint64_t size, Status status);
  bool fail(const std::string& why);

  uint64_t sector_size_;
  uint64_t max_size_;
  std::string partial_;  // the start of a line that the last piece cut
  uint64_t line_number_ = 0;
  bool have_current_ = false;
  uint64_t current_pos_ = 0;
  Phase phase_ = Phase::copying;
  int pass_ = 1;
  uint64_t end_ = 0;  // where the areas so far end
  std::vector<Status> sectors_;
  std::string error_;
};

}  // namespace tessil::rescue
