// The built libtessil.so, loaded with dlopen and called exactly as the
// program calls it: its exported names, its state at load, and whole jobs on
// file-backed drives and loop devices.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tessil.h"

namespace {

namespace fs = std::filesystem;

struct Library {
  void* handle = nullptr;
  decltype(&::getdriveinfo) getdriveinfo = nullptr;
  decltype(&::getimageinfo) getimageinfo = nullptr;
  decltype(&::readdisk) readdisk = nullptr;
  decltype(&::writedisk) writedisk = nullptr;
  decltype(&::getporcentage) getporcentage = nullptr;
  decltype(&::intcancel) intcancel = nullptr;
  decltype(&::retvalue) retvalue = nullptr;
  decltype(&::getreturnvalue) getreturnvalue = nullptr;
  decltype(&::getversion) getversion = nullptr;
};

template <typename F>
void bind(void* handle, F& function, const char* name) {
  function = reinterpret_cast<F>(dlsym(handle, name));
}

// Loaded once, like the program does, and kept for the whole process.
Library& library() {
  static Library lib = [] {
    Library l;
    l.handle = dlopen(TESSIL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!l.handle) return l;
    bind(l.handle, l.getdriveinfo, "getdriveinfo");
    bind(l.handle, l.getimageinfo, "getimageinfo");
    bind(l.handle, l.readdisk, "readdisk");
    bind(l.handle, l.writedisk, "writedisk");
    bind(l.handle, l.getporcentage, "getporcentage");
    bind(l.handle, l.intcancel, "intcancel");
    bind(l.handle, l.retvalue, "retvalue");
    bind(l.handle, l.getreturnvalue, "getreturnvalue");
    bind(l.handle, l.getversion, "getversion");
    return l;
  }();
  return lib;
}

std::string run(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    if (pclose(pipe) != 0) return "";
  }
  return out;
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tessil-abi-XXXXXX").string();
    root_ = mkdtemp(pattern.data()) ? pattern : "";
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  std::string path(const std::string& name) const { return root_ + "/" + name; }

 private:
  std::string root_;
};

std::string patterned(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>((i * 31 + i / 512 + seed) & 0xFF);
  return bytes;
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Waits for the job as the program does: poll, then take the code.
int32_t finish() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (library().retvalue() != 0) {
    if (std::chrono::steady_clock::now() > deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return library().getreturnvalue();
}

// Points drive letter `letter` at `path` for this test.
class DriveOn {
 public:
  DriveOn(const char* letter, const std::string& path)
      : name_(std::string("TESSIL_DRIVE_") + letter) {
    setenv(name_.c_str(), path.c_str(), 1);
  }
  ~DriveOn() { unsetenv(name_.c_str()); }

 private:
  std::string name_;
};

constexpr std::size_t disk_144 = 1474560;

TEST(Library, StartsIdleWithNothingToReport) {
  ASSERT_NE(library().handle, nullptr) << dlerror();
  EXPECT_EQ(library().retvalue(), 0);
  EXPECT_EQ(library().getporcentage(), 0);
  EXPECT_EQ(library().getreturnvalue(), 0);
  EXPECT_GE(library().getversion(), 4) << "a current Linux must not be refused";
}

TEST(Library, ExportsExactlyTheNineEntryPoints) {
  const std::string table = run("nm -D --defined-only " TESSIL_LIBRARY_PATH);
  ASSERT_FALSE(table.empty());
  std::set<std::string> names;
  std::istringstream lines(table);
  for (std::string address, type, name; lines >> address >> type >> name;) names.insert(name);
  const std::set<std::string> expected = {"getdriveinfo", "getimageinfo",   "readdisk",
                                          "writedisk",    "getporcentage",  "intcancel",
                                          "retvalue",     "getreturnvalue", "getversion"};
  EXPECT_EQ(names, expected);
  const Library& lib = library();
  for (const void* entry :
       {reinterpret_cast<const void*>(lib.getdriveinfo),
        reinterpret_cast<const void*>(lib.getimageinfo),
        reinterpret_cast<const void*>(lib.readdisk), reinterpret_cast<const void*>(lib.writedisk),
        reinterpret_cast<const void*>(lib.getporcentage),
        reinterpret_cast<const void*>(lib.intcancel), reinterpret_cast<const void*>(lib.retvalue),
        reinterpret_cast<const void*>(lib.getreturnvalue),
        reinterpret_cast<const void*>(lib.getversion)})
    EXPECT_NE(entry, nullptr);
}

TEST(FileDrives, CopyADiskToAnImageAndOntoAnotherDisk) {
  TempDir dir;
  const std::string original = patterned(disk_144, 1);
  write_file(dir.path("a.fd"), original);
  write_file(dir.path("b.fd"), std::string(disk_144, '\0'));
  DriveOn a("A", dir.path("a.fd"));
  DriveOn b("B", dir.path("b.fd"));

  int32_t out[5] = {};
  EXPECT_EQ(library().getdriveinfo("A", &out[0], &out[1], &out[2], &out[3], &out[4]), 1);
  EXPECT_EQ(std::vector<int32_t>(out, out + 5), (std::vector<int32_t>{80, 2, 18, 512, 1474560}));

  // Texts go in as writable 8-bit copies, as the program passes them.
  std::string drive = "A", image = dir.path("disk.img"), label = "My floppy image";
  ASSERT_EQ(library().readdisk(drive.data(), image.data(), label.data()), 0);
  ASSERT_EQ(finish(), JOB_OK);
  EXPECT_EQ(library().getporcentage(), 100);
  const std::string file = read_file(image);
  ASSERT_EQ(file.size(), TESSIL_IMAGE_HEADER_SIZE + disk_144);
  EXPECT_EQ(file.substr(TESSIL_IMAGE_HEADER_SIZE), original);

  std::string buffer(300, ' ');
  EXPECT_EQ(library().getimageinfo(image.c_str(), buffer.data()), 0);
  EXPECT_STREQ(buffer.c_str(), "My floppy image");

  ASSERT_EQ(library().writedisk("B", image.c_str()), 0);
  ASSERT_EQ(finish(), JOB_OK);
  EXPECT_EQ(read_file(dir.path("b.fd")), original);
  EXPECT_EQ(fs::file_size(dir.path("b.fd")), disk_144) << "a file drive never grows";
}

TEST(FileDrives, AnImageOfAnotherGeometryLeavesTheDiskAlone) {
  TempDir dir;
  write_file(dir.path("small.fd"), patterned(737280, 2));
  write_file(dir.path("big.fd"), patterned(disk_144, 3));
  DriveOn a("A", dir.path("small.fd"));
  DriveOn b("B", dir.path("big.fd"));
  ASSERT_EQ(library().readdisk("A", dir.path("720.img").c_str(), ""), 0);
  ASSERT_EQ(finish(), JOB_OK);
  ASSERT_EQ(library().writedisk("B", dir.path("720.img").c_str()), 0);
  EXPECT_EQ(finish(), JOB_GEOMETRY_MISMATCH);
  EXPECT_EQ(read_file(dir.path("big.fd")), patterned(disk_144, 3));
}

TEST(FileDrives, ADriveIsNeverItsOwnImage) {
  TempDir dir;
  write_file(dir.path("a.fd"), patterned(disk_144, 7));
  fs::create_symlink(dir.path("a.fd"), dir.path("link.img"));
  DriveOn a("A", dir.path("a.fd"));
  for (const char* name : {"a.fd", "link.img"}) {
    ASSERT_EQ(library().readdisk("A", dir.path(name).c_str(), "self"), 0);
    EXPECT_EQ(finish(), JOB_IMAGE_CREATE_FAILED) << name;
    ASSERT_EQ(library().writedisk("A", dir.path(name).c_str()), 0);
    EXPECT_EQ(finish(), JOB_IMAGE_OPEN_FAILED) << name;
  }
  EXPECT_EQ(read_file(dir.path("a.fd")), patterned(disk_144, 7));
}

std::size_t entries(const char* folder) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// The process's thread count once it stops changing: a worker clears its
// busy flag a moment before it has ended.
std::size_t settled_thread_count() {
  std::size_t count = entries("/proc/self/task");
  for (int i = 0; i < 100; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::size_t now = entries("/proc/self/task");
    if (now == count) break;
    count = now;
  }
  return count;
}

TEST(FileDrives, AThousandJobsLeakNoDescriptorOrThread) {
  TempDir dir;
  write_file(dir.path("tiny.fd"), patterned(8 * 512, 4));
  DriveOn a("A", dir.path("tiny.fd"));
  const std::string image = dir.path("tiny.img");
  // One job first: a sanitizer's runtime starts a thread of its own once the
  // process has a second thread.
  ASSERT_EQ(library().readdisk("A", image.c_str(), "x"), 0);
  ASSERT_EQ(finish(), JOB_OK);
  const std::size_t fds = entries("/proc/self/fd");
  const std::size_t threads = settled_thread_count();
  std::fflush(stdout);
  const int saved = dup(1);
  const int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);  // the geometry lines of a thousand queries
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(i % 2 ? library().writedisk("A", image.c_str())
                    : library().readdisk("A", image.c_str(), "x"),
              0);
    ASSERT_EQ(finish(), JOB_OK) << "job " << i;
  }
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  close(null);
  EXPECT_EQ(entries("/proc/self/fd"), fds);
  EXPECT_EQ(settled_thread_count(), threads);
}

// A loop device over a file, detached again whatever happens.
class LoopDevice {
 public:
  LoopDevice(const std::string& file, bool read_only) {
    device_ = run(std::string("losetup -f --show ") + (read_only ? "-r " : "") + file);
    while (!device_.empty() && device_.back() == '\n') device_.pop_back();
  }
  ~LoopDevice() {
    if (!device_.empty()) run("losetup -d " + device_);
  }
  const std::string& path() const { return device_; }

 private:
  std::string device_;
};

class LoopDrives : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0 || run("command -v losetup").empty())
      GTEST_SKIP() << "loop devices need root and losetup";
    write_file(dir.path("disk.fd"), patterned(disk_144, 5));
  }
  TempDir dir;
};

TEST_F(LoopDrives, ACopyThroughLoopDevicesIsExact) {
  write_file(dir.path("blank.fd"), std::string(disk_144, '\0'));
  LoopDevice source(dir.path("disk.fd"), false);
  LoopDevice target(dir.path("blank.fd"), false);
  if (source.path().empty() || target.path().empty()) GTEST_SKIP() << "no free loop device";
  DriveOn a("A", source.path());
  DriveOn b("B", target.path());
  ASSERT_EQ(library().readdisk("A", dir.path("loop.img").c_str(), "loop"), 0);
  ASSERT_EQ(finish(), JOB_OK);
  ASSERT_EQ(library().writedisk("B", dir.path("loop.img").c_str()), 0);
  ASSERT_EQ(finish(), JOB_OK);
  EXPECT_EQ(read_file(dir.path("blank.fd")), patterned(disk_144, 5));
}

TEST_F(LoopDrives, AWriteProtectedDiskIsReadButNotWritten) {
  LoopDevice device(dir.path("disk.fd"), true);
  if (device.path().empty()) GTEST_SKIP() << "no free loop device";
  DriveOn a("A", device.path());
  ASSERT_EQ(library().readdisk("A", dir.path("ro.img").c_str(), "ro"), 0);
  ASSERT_EQ(finish(), JOB_OK);
  ASSERT_EQ(library().writedisk("A", dir.path("ro.img").c_str()), 0);
  EXPECT_EQ(finish(), JOB_DRIVE_WRITE_FAILED);
  EXPECT_EQ(library().getporcentage(), 0) << "the first block's share of the disk";
  EXPECT_EQ(read_file(dir.path("disk.fd")), patterned(disk_144, 5));
}

TEST_F(LoopDrives, ADeviceIsNeverItsOwnImage) {
  LoopDevice device(dir.path("disk.fd"), false);
  if (device.path().empty()) GTEST_SKIP() << "no free loop device";
  DriveOn a("A", device.path());
  ASSERT_EQ(library().readdisk("A", device.path().c_str(), "self"), 0);
  EXPECT_EQ(finish(), JOB_IMAGE_CREATE_FAILED);
  EXPECT_EQ(read_file(dir.path("disk.fd")), patterned(disk_144, 5));
}

TEST_F(LoopDrives, ADiskInUseElsewhereIsNotOpened) {
  LoopDevice device(dir.path("disk.fd"), false);
  if (device.path().empty()) GTEST_SKIP() << "no free loop device";
  DriveOn a("A", device.path());
  write_file(dir.path("image.img"), "");
  ASSERT_EQ(library().readdisk("A", dir.path("image.img").c_str(), "held"), 0);
  ASSERT_EQ(finish(), JOB_OK);
  {
    const int held = open(device.path().c_str(), O_RDONLY | O_EXCL);
    ASSERT_GE(held, 0);
    ASSERT_EQ(library().writedisk("A", dir.path("image.img").c_str()), 0);
    EXPECT_EQ(finish(), JOB_DRIVE_OPEN_FAILED);
    ASSERT_EQ(library().readdisk("A", dir.path("other.img").c_str(), "held"), 0);
    EXPECT_EQ(finish(), JOB_DRIVE_OPEN_FAILED);
    close(held);
  }
  // A mounted disk is held by the kernel the same way.
  const std::string mountpoint = dir.path("mnt");
  fs::create_directory(mountpoint);
  if (run("mkfs.ext2 -q -F " + device.path() + " 2>&1 && mount " + device.path() + " " +
          mountpoint + " && echo mounted")
          .find("mounted") == std::string::npos)
    GTEST_SKIP() << "cannot mount here";
  ASSERT_EQ(library().writedisk("A", dir.path("image.img").c_str()), 0);
  EXPECT_EQ(finish(), JOB_DRIVE_OPEN_FAILED);
  run("umount " + mountpoint);
}

// Runs only where TESSIL_DEBUG named a file before the library was loaded.
TEST(DebugChannel, CarriesTheNoticesAndTraceLines) {
  const char* target = std::getenv("TESSIL_DEBUG");
  if (!target || std::string(target) == "stderr") GTEST_SKIP() << "TESSIL_DEBUG names no file";
  TempDir dir;
  write_file(dir.path("tiny.fd"), patterned(1024, 6));
  DriveOn a("A", dir.path("tiny.fd"));
  ASSERT_EQ(library().readdisk("A", dir.path("tiny.img").c_str(), "traced"), 0);
  ASSERT_EQ(finish(), JOB_OK);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the worker's last notice
  const std::string log = read_file(target);
  for (const char* line : {"DLL_PROCESS_ATTACH \n", "driveint A \n", "inameint traced \n",
                           "DLL_THREAD_ATTACH \n", "thread running... \n", "dentro do loop 512\n",
                           "check 1024 1024 \n", "Closing floppy \n", "DLL_THREAD_DETACH \n"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
}

}  // namespace
