// SHA-256 and MD5 of a finished image file, read back from the file system:
// of its data (what follows the header) and of the whole file, in one pass.
// They record what was stored, whatever the copy believed it wrote.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessil::cli {

// Lowercase hex.
struct Digests {
  std::string sha256;
  std::string md5;
};

struct FileDigests {
  Digests data;  // the bytes from the data's offset on
  Digests file;  // every byte of the file
  uint64_t size = 0;
};

// Nothing when the file cannot be read through or the crypto library fails.
std::optional<FileDigests> digest_file(const std::string& path, uint64_t data_offset);

}  // namespace tessil::cli
