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
    case Error::not_authorised:
      return "not authorised to open it (polkit refused org.freedesktop.udisks2.open-device)";
    case Error::not_authorised_system:
      return "not authorised to open it (polkit refused "
             "org.freedesktop.udisks2.open-device-system)";
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

// True when polkit, not the medium, kept the drive closed: nothing is known
// about the disk in it.
constexpr bool not_authorised(Error reason) {
  return reason == Error::not_authorised || reason == Error::not_authorised_system;
}

}  // namespace tessil::platform
