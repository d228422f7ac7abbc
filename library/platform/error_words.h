// The words for why a drive or a file could not be used, the same in every
// program. Header-only: the window reads it without linking the engine.
#pragma once

#include <string_view>

#include "platform/error.h"

namespace tessil::platform {

constexpr std::string_view error_words(Error reason) {
  switch (reason) {
    case Error::none:
      return "";
    case Error::not_found:
      return "not found";
    case Error::no_medium:
      return "no medium";
    case Error::access_denied:
      return "permission denied";
    case Error::busy:
      return "in use (mounted or held by another program)";
    case Error::read_only:
      return "write-protected";
    case Error::no_space:
      return "no space left";
    case Error::io:
      return "input/output error";
    case Error::exists:
      return "already exists";
    case Error::other:
      break;
  }
  return "not usable";
}

}  // namespace tessil::platform
