// Why the system refused: errno and its kin never leave the platform except
// as one of these.
#pragma once

namespace tessil::platform {

enum class Error {
  none,
  not_found,      // nothing stands behind the drive letter or path
  no_medium,      // the drive is empty
  access_denied,  // no permission
  // polkit refused to let udisks2 open a drive that the user may not open
  // directly: under its action for a user's removable drive (open-device),
  // or for a device the system set up (open-device-system)
  not_authorised,
  not_authorised_system,
  busy,       // mounted, or held exclusively by another program
  read_only,  // the medium is write-protected
  no_space,   // past the end of the medium
  io,         // the medium failed
  exists,     // a new name is taken already
  other,
};

}  // namespace tessil::platform
