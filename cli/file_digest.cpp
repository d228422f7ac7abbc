#include "file_digest.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

namespace tessil::cli {

namespace {

struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;

struct OpenFile {
  int fd;
  ~OpenFile() {
    if (fd >= 0) ::close(fd);
  }
};

// One running digest; `ok` turns false at the first failure of the library.
struct Running {
  Context context{EVP_MD_CTX_new()};
  bool ok = false;

  explicit Running(const EVP_MD* kind) {
    ok = context && EVP_DigestInit_ex(context.get(), kind, nullptr) == 1;
  }
  void update(const unsigned char* data, std::size_t size) {
    if (ok && size > 0) ok = EVP_DigestUpdate(context.get(), data, size) == 1;
  }
  std::optional<std::string> hex() {
    unsigned char sum[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ok || EVP_DigestFinal_ex(context.get(), sum, &length) != 1) return std::nullopt;
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
      text += digits[sum[i] >> 4];
      text += digits[sum[i] & 15];
    }
    return text;
  }
};

}  // namespace

std::optional<FileDigests> digest_file(const std::string& path, uint64_t data_offset) {
  const OpenFile file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
  if (file.fd < 0) return std::nullopt;

  Running data_sha(EVP_sha256()), data_md5(EVP_md5()), file_sha(EVP_sha256()), file_md5(EVP_md5());
  std::vector<unsigned char> buffer(256 * 1024);
  uint64_t at = 0;
  for (;;) {
    const ssize_t n = ::read(file.fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    const auto count = static_cast<std::size_t>(n);
    file_sha.update(buffer.data(), count);
    file_md5.update(buffer.data(), count);
    // The part of this buffer at or past the data's offset.
    const uint64_t skip = std::min<uint64_t>(count, data_offset > at ? data_offset - at : 0);
    data_sha.update(buffer.data() + skip, count - skip);
    data_md5.update(buffer.data() + skip, count - skip);
    at += count;
  }
  FileDigests digests;
  digests.size = at;
  const auto ds = data_sha.hex(), dm = data_md5.hex(), fs = file_sha.hex(), fm = file_md5.hex();
  if (!ds || !dm || !fs || !fm) return std::nullopt;
  digests.data = {*ds, *dm};
  digests.file = {*fs, *fm};
  return digests;
}

}  // namespace tessil::cli
