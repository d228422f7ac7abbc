// Any bytes as an image file, written by the write job onto a fake drive.
// The drive must stay as it was unless the file's header has exactly the
// drive's geometry; then it must hold the bytes after the header, as far as
// they reach, and the rest of it unchanged.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "fuzz_support.h"
#include "tessil.h"
#include "tests/fake_platform.h"

namespace {

using tessil::fuzz::require;

// A small disk of distinct dimensions, so that a header with two fields
// swapped does not match it.
constexpr uint32_t cylinders = 3;
constexpr uint32_t heads = 2;
constexpr uint32_t sectors = 1;
constexpr uint32_t sector_size = 512;
constexpr std::size_t header_size = TESSIL_IMAGE_HEADER_SIZE;

uint32_t field(const uint8_t* data, std::size_t index) {
  uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= uint32_t{data[4 * index + i]} << (8 * i);
  return value;
}

bool header_matches_disk(const uint8_t* data, std::size_t size) {
  return size >= header_size && field(data, 0) == cylinders && field(data, 1) == heads &&
         field(data, 2) == sectors && field(data, 3) == sector_size;
}

int32_t run_job(const char* image_path) {
  require(writedisk("A", image_path) == 0, "the write job did not start");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (retvalue() != 0) {
    require(std::chrono::steady_clock::now() < deadline, "the write job never ended");
    std::this_thread::yield();
  }
  return getreturnvalue();
}

tessil::fuzz::ImageFile* image = nullptr;
const tessil::testing::FakeMedium* pristine = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tessil::fuzz::silence_standard_output();
  image = new tessil::fuzz::ImageFile();
  pristine = new tessil::testing::FakeMedium(
      tessil::testing::make_medium(cylinders, heads, sectors, sector_size));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  image->hold(data, size);
  // A fresh fake for every input: its drive starts pristine, and it keeps
  // nothing from earlier runs.
  tessil::testing::FakePlatform fake;
  fake.insert("A", *pristine);
  const int32_t result = run_job(image->path());
  const std::vector<std::byte> after = fake.contents("A");
  const std::vector<std::byte>& before = pristine->data;
  require(after.size() == before.size(), "the drive changed its size");

  if (!header_matches_disk(data, size)) {
    require(after == before, "an image of another geometry changed the drive");
    require(result == (size == 0 ? JOB_HEADER_READ_FAILED : JOB_GEOMETRY_MISMATCH),
            "result of a refused image");
    return 0;
  }
  const std::size_t body = size - header_size;
  const std::size_t copied = std::min(body, before.size());
  require(std::memcmp(after.data(), data + header_size, copied) == 0, "the image's bytes");
  require(std::equal(after.begin() + static_cast<std::ptrdiff_t>(copied), after.end(),
                     before.begin() + static_cast<std::ptrdiff_t>(copied)),
          "the drive past the image's bytes");
  const int32_t expected = body == before.size()  ? JOB_OK
                           : body < before.size() ? JOB_SHORT_WRITE
                                                  : JOB_DRIVE_WRITE_FAILED;
  require(result == expected, "result of a matching image");
  return 0;
}
