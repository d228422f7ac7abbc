// Why the system refused: errno and its kin never leave the platform except
// as one of these.
#pragma once

namespace tessil::platform {

enum class Error {
  none,
  not_found,      // nothing stands behind the drive letter or path
  no_medium,      // the drive is empty
  access_denied,  // no permission
  busy,           // mounted, or held exclusively by another program
  read_only,      // the medium is write-protected
  no_space,       // past the end of the medium
  io,             // the medium failed
  exists,         // a new name is taken already
  other,
};

}  // namespace tessil::platform
