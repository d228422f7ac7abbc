// A new image file is made under a temporary name beside its final one and
// published by a rename only once the job is over, so that no kill, cancel
// or full disk ever leaves something at the final name that passes for a
// whole image. A block device named as the image is written in place.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace tessil::cli {

struct NewImage {
  std::string path;       // the name the user gave
  std::string temporary;  // where the job writes; `path` for a device
  bool in_place = false;  // a block device: no temporary, nothing to publish
};

// Checks that `path` may become the new image of drive `letter` and picks
// its temporary name. A refusal's words, or nothing when all is well. An
// existing file is only replaced with `force`.
std::optional<std::string> prepare_new_image(const std::string& path, char letter, bool force,
                                             NewImage& image);

// Puts the finished image at its name (replacing what was there with
// `force`), or removes what the job left when `keep` is false.
platform::Error settle_new_image(const NewImage& image, bool keep, bool force);

}  // namespace tessil::cli
