// The numbered names of a batch's images: its PATTERN with one counter, and
// the claim on the next free number, which no other batch into the same
// folder can make at the same time.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace tessil::cli {

// PATTERN with its one counter: "box3/disk-%03d" is "box3/disk-", width 3
// with zeros, "".
struct NamePattern {
  std::string before;
  std::string after;
  int width = 0;
  bool zeros = false;

  std::string name(long long number) const;
};

// The counter is %d, %Nd or %0Nd; %% is a percent sign. Nothing, with the
// reason, for a pattern without exactly one counter in its file name.
std::optional<NamePattern> parse_pattern(const std::string& text, std::string& problem);

// Claims the first free number from `number` on: neither the image nor its
// report nor a rescue's map may exist. The image's name is made at once, an
// empty file that the read or the rescue then takes over, so that nothing
// else takes it between this look and the job. Nothing, with the reason,
// when no name can be made.
std::optional<std::string> claim_name(const NamePattern& pattern, const std::string& extension,
                                      long long& number, platform::Error& reason);

}  // namespace tessil::cli
