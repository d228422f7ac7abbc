// Drives one read or write job through the built libtessil.so, loaded with
// dlopen exactly as the program loads it, and reports how long it took.
//
//   tessil_bench LIBRARY read  DRIVE IMAGE   drive A (standing on DRIVE) into IMAGE
//   tessil_bench LIBRARY write DRIVE IMAGE   IMAGE onto drive A (standing on DRIVE)
//
// Prints "<seconds> s, result <code>, <percent>%" and exits 0 only when the
// job ended with JOB_OK.
#include <dlfcn.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

using StartRead = int32_t (*)(const char*, const char*, const char*);
using StartWrite = int32_t (*)(const char*, const char*);
using Status = int32_t (*)();

template <typename F>
F symbol(void* library, const char* name) {
  void* address = dlsym(library, name);
  if (address == nullptr) {
    std::fprintf(stderr, "tessil_bench: %s is missing: %s\n", name, dlerror());
    std::exit(2);
  }
  return reinterpret_cast<F>(address);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 || (std::strcmp(argv[2], "read") != 0 && std::strcmp(argv[2], "write") != 0)) {
    std::fprintf(stderr, "usage: %s LIBRARY read|write DRIVE IMAGE\n", argv[0]);
    return 2;
  }
  const bool reading = std::strcmp(argv[2], "read") == 0;
  // The library looks the drive letter up at every job; set it before loading.
  if (setenv("TESSIL_DRIVE_A", argv[3], 1) != 0) return 2;

  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "tessil_bench: %s\n", dlerror());
    return 2;
  }
  const auto readdisk = symbol<StartRead>(library, "readdisk");
  const auto writedisk = symbol<StartWrite>(library, "writedisk");
  const auto retvalue = symbol<Status>(library, "retvalue");
  const auto getreturnvalue = symbol<Status>(library, "getreturnvalue");
  const auto getporcentage = symbol<Status>(library, "getporcentage");

  const auto start = std::chrono::steady_clock::now();
  const int32_t started =
      reading ? readdisk("A", argv[4], "tessil benchmark") : writedisk("A", argv[4]);
  if (started != 0) {
    std::fprintf(stderr, "tessil_bench: the job did not start (%d)\n", started);
    return 1;
  }
  // Poll as the program's window does, but often enough not to add to the time.
  while (retvalue() != 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  const int32_t result = getreturnvalue();
  std::printf("%.3f s, result %d, %d%%\n", elapsed.count(), result, getporcentage());
  dlclose(library);
  return result == 0 ? 0 : 1;
}
