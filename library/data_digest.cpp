#include "data_digest.h"

#include <openssl/evp.h>

#include <array>

namespace tessil {

namespace {

struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;

Context started(const EVP_MD* kind) {
  Context context(EVP_MD_CTX_new());
  if (context && EVP_DigestInit_ex(context.get(), kind, nullptr) != 1) context.reset();
  return context;
}

std::string hex_of(EVP_MD_CTX* context) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> sum{};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context, sum.data(), &length) != 1) return {};
  static constexpr char digits[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += digits[sum[i] >> 4];
    text += digits[sum[i] & 0xF];
  }
  return text;
}

}  // namespace

struct DataDigest::Contexts {
  Context sha256 = started(EVP_sha256());
  Context md5 = started(EVP_md5());
};

DataDigest::DataDigest() : contexts_(std::make_unique<Contexts>()) {
  failed_ = !contexts_->sha256 || !contexts_->md5;
}

DataDigest::~DataDigest() = default;

void DataDigest::update(std::span<const std::byte> data) {
  if (failed_ || data.empty()) return;
  if (EVP_DigestUpdate(contexts_->sha256.get(), data.data(), data.size()) != 1 ||
      EVP_DigestUpdate(contexts_->md5.get(), data.data(), data.size()) != 1)
    failed_ = true;
}

Checksums DataDigest::finish() {
  if (failed_) return {};
  Checksums sums{hex_of(contexts_->sha256.get()), hex_of(contexts_->md5.get())};
  failed_ = true;
  if (sums.sha256.empty() || sums.md5.empty()) return {};
  return sums;
}

}  // namespace tessil
