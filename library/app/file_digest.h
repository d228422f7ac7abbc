// SHA-256 and MD5 of a finished image file, read back from the file system:
// of its data (what follows the header) and of the whole file, in one pass.
// They record what was stored, whatever the copy believed it wrote.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "job_request.h"

namespace tessil::app {

// Lowercase hex, as the engine gives them for the data it moves.
using Digests = Checksums;

struct FileDigests {
  Digests data;  // the bytes from the data's offset on
  Digests file;  // every byte of the file
  uint64_t size = 0;
};

// Nothing when the file cannot be read through, the crypto library fails,
// or a stop was asked for (Ctrl-C, SIGTERM) meanwhile.
std::optional<FileDigests> digest_file(const std::string& path, uint64_t data_offset);

}  // namespace tessil::app
