// SHA-256 and MD5 of a disk's data, taken while the data streams through a
// job, so that the sectors are never read a second time for them. Only the
// sectors count: a tessil image and its raw twin have the same checksums.
#pragma once

#include <cstddef>
#include <memory>
#include <span>

#include "block_loop.h"

namespace tessil {

class DataDigest {
 public:
  DataDigest();
  ~DataDigest();
  DataDigest(const DataDigest&) = delete;
  DataDigest& operator=(const DataDigest&) = delete;

  void update(std::span<const std::byte> data);
  // Both checksums of everything updated so far; the digest is used up.
  // Empty when the crypto library failed, so that no wrong sum is shown.
  Checksums finish();

 private:
  struct Contexts;
  std::unique_ptr<Contexts> contexts_;
  bool failed_ = false;
};

// A copy's ends that feed every block taken from the source into a digest
// on its way to the target.
class DigestingEnds final : public BlockEnds {
 public:
  DigestingEnds(BlockEnds& inner, DataDigest& digest) : inner_(inner), digest_(digest) {}
  platform::ReadResult take(std::span<std::byte> block) override {
    const platform::ReadResult got = inner_.take(block);
    digest_.update(block.first(got.count));
    return got;
  }
  platform::Error put(std::span<const std::byte> block) override { return inner_.put(block); }
  void counted(uint64_t done) override { inner_.counted(done); }

 private:
  BlockEnds& inner_;
  DataDigest& digest_;
};

}  // namespace tessil
