// The built libtessil.so, loaded with dlopen and called exactly as the
// program calls it: its exported names, its state at load, and whole jobs on
// file-backed drives and loop devices.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <latch>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "abi_support.h"
#include "tessil.h"

namespace {

std::mutex synced_mutex;
std::vector<std::string> synced;

void clear_synced() {
  const std::lock_guard lock(synced_mutex);
  synced.clear();
}

// The files fsync was called on, in order.
std::vector<std::string> synced_paths() {
  const std::lock_guard lock(synced_mutex);
  return synced;
}

}  // namespace

// Every fsync of the process passes here: the test program exports it, so
// the loaded library's calls bind to it too.
extern "C" int fsync(int fd) {
  std::error_code error;
  const std::filesystem::path file =
      std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
  {
    const std::lock_guard lock(synced_mutex);
    synced.push_back(file.string());
  }
  return static_cast<int>(syscall(SYS_fsync, fd));
}

namespace {

using namespace tessil::abi;

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

// Every job through the library prints its own geometry query's lines, the
// very lines getdriveinfo prints for that drive, found or not.
TEST(FileDrives, JobsPrintTheLinesOfTheirOwnQuery) {
  TempDir dir;
  write_file(dir.path("a.fd"), patterned(disk_144, 5));
  DriveOn a("A", dir.path("a.fd"));
  int32_t out[5] = {};
  const std::string query =
      printed([&] { library().getdriveinfo("A", &out[0], &out[1], &out[2], &out[3], &out[4]); });
  ASSERT_NE(query.find("Tracks/cylinder = 2\n"), std::string::npos) << query;
  const std::string image = dir.path("a.img");
  EXPECT_EQ(printed([&] {
              ASSERT_EQ(library().readdisk("A", image.c_str(), "x"), 0);
              EXPECT_EQ(finish(), JOB_OK);
            }),
            query);
  EXPECT_EQ(printed([&] {
              ASSERT_EQ(library().writedisk("A", image.c_str()), 0);
              EXPECT_EQ(finish(), JOB_OK);
            }),
            query);

  const std::string nothing =
      printed([&] { library().getdriveinfo("Q", &out[0], &out[1], &out[2], &out[3], &out[4]); });
  ASSERT_NE(nothing.find("foi\n"), std::string::npos) << nothing;
  EXPECT_EQ(printed([&] {
              ASSERT_EQ(library().readdisk("Q", dir.path("q.img").c_str(), ""), 0);
              EXPECT_EQ(finish(), JOB_NO_MEDIA);
            }),
            nothing);
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
  {
    const Silenced quiet;  // the geometry lines of a thousand queries
    for (int i = 0; i < 1000; ++i) {
      ASSERT_EQ(i % 2 ? library().writedisk("A", image.c_str())
                      : library().readdisk("A", image.c_str(), "x"),
                0);
      ASSERT_EQ(finish(), JOB_OK) << "job " << i;
    }
  }
  EXPECT_EQ(entries("/proc/self/fd"), fds);
  EXPECT_EQ(settled_thread_count(), threads);
}

// A loop device over a file, detached again whatever happens.
class LoopDevice {
 public:
  LoopDevice(const std::string& file, bool read_only, bool partitioned = false) {
    device_ = run(std::string("losetup -f --show ") + (read_only ? "-r " : "") +
                  (partitioned ? "-P " : "") + file);
    while (!device_.empty() && device_.back() == '\n') device_.pop_back();
  }
  ~LoopDevice() {
    if (!device_.empty()) run("losetup -d " + device_);
  }
  const std::string& path() const { return device_; }

 private:
  std::string device_;
};

// A file system mounted for one test and unmounted again whatever happens.
class Mount {
 public:
  Mount(const std::string& device, const std::string& point) : point_(point) {
    fs::create_directory(point);
    mounted_ = !run("mount " + device + " " + point + " && echo mounted").empty();
  }
  ~Mount() {
    if (mounted_) run("umount " + point_);
  }
  explicit operator bool() const { return mounted_; }

 private:
  std::string point_;
  bool mounted_ = false;
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
  run("mkfs.ext2 -q -F " + device.path() + " 2>&1");
  const Mount mounted(device.path(), dir.path("mnt"));
  if (!mounted) GTEST_SKIP() << "cannot mount here";
  ASSERT_EQ(library().writedisk("A", dir.path("image.img").c_str()), 0);
  EXPECT_EQ(finish(), JOB_DRIVE_OPEN_FAILED);
}

// An image of a disk with this geometry (512-byte sectors) holding `data`.
std::string image_of(uint32_t cylinders, uint32_t heads, uint32_t sectors,
                     const std::string& data) {
  std::string header(TESSIL_IMAGE_HEADER_SIZE, '\0');
  const uint32_t fields[] = {cylinders, heads, sectors, TESSIL_BLOCK_SIZE};
  for (std::size_t f = 0; f < 4; ++f)
    for (std::size_t i = 0; i < 4; ++i)
      header[f * 4 + i] = static_cast<char>((fields[f] >> (8 * i)) & 0xFF);
  return header + data;
}

// A file of `size` bytes that holds nothing yet. A disk of 1 GiB takes
// seconds to copy: long enough to act while its job runs.
void sparse_file(const std::string& path, std::uintmax_t size) {
  write_file(path, "");
  fs::resize_file(path, size);
}

constexpr std::uintmax_t gib = std::uintmax_t{1} << 30;

// The first `size` bytes of a file.
std::string head_of(const std::string& path, std::size_t size) {
  std::string bytes(size, '\0');
  std::ifstream(path, std::ios::binary).read(bytes.data(), static_cast<std::streamsize>(size));
  return bytes;
}

// Waits until the running job has moved `percent` of its disk.
bool job_reached(int32_t percent, const Library& lib = library()) {
  return eventually([&] { return lib.getporcentage() >= percent || lib.retvalue() == 0; }) &&
         lib.retvalue() != 0;
}

// Expects both jobs on drive A to refuse `image` before opening anything.
void expect_refused_as_image(const std::string& image) {
  ASSERT_EQ(library().readdisk("A", image.c_str(), "self"), 0);
  EXPECT_EQ(finish(), JOB_IMAGE_CREATE_FAILED) << image;
  ASSERT_EQ(library().writedisk("A", image.c_str()), 0);
  EXPECT_EQ(finish(), JOB_IMAGE_OPEN_FAILED) << image;
}

TEST_F(LoopDrives, TheFileBehindALoopDriveIsNeverItsImage) {
  LoopDevice device(dir.path("disk.fd"), false);
  if (device.path().empty()) GTEST_SKIP() << "no free loop device";
  fs::create_symlink(dir.path("disk.fd"), dir.path("link.img"));
  DriveOn a("A", device.path());
  for (const char* name : {"disk.fd", "link.img"}) expect_refused_as_image(dir.path(name));
  EXPECT_TRUE(read_file(dir.path("disk.fd")) == patterned(disk_144, 5)) << "the disk changed";
}

// 2 MiB with one partition over its second MiB, as an MBR records it.
std::string partitioned_disk() {
  std::string bytes = patterned(2 << 20, 9);
  std::string entries(64, '\0');
  entries[4] = static_cast<char>(0x83);
  for (std::size_t i = 0; i < 4; ++i) {
    entries[8 + i] = static_cast<char>((2048u >> (8 * i)) & 0xFF);   // first sector
    entries[12 + i] = static_cast<char>((2048u >> (8 * i)) & 0xFF);  // sectors
  }
  bytes.replace(446, 64, entries);
  bytes[510] = static_cast<char>(0x55);
  bytes[511] = static_cast<char>(0xAA);
  return bytes;
}

// The first partition of a loop device attached with its partitions.
std::string first_partition(const LoopDevice& disk) {
  const std::string node = disk.path() + "p1";
  // The kernel may leave the table unread until asked; a second reading
  // changes nothing.
  if (!fs::exists(node)) run("partx -a " + disk.path() + " 2>&1");
  return eventually([&] { return fs::exists(node); }, std::chrono::seconds(10)) ? node : "";
}

TEST_F(LoopDrives, ABlockDeviceOverlappingTheDriveIsNeverItsImage) {
  write_file(dir.path("disk.fd"), partitioned_disk());
  LoopDevice whole(dir.path("disk.fd"), false, true);
  LoopDevice twin(dir.path("disk.fd"), false);
  if (whole.path().empty() || twin.path().empty()) GTEST_SKIP() << "no free loop device";
  const std::string part = first_partition(whole);
  ASSERT_FALSE(part.empty()) << "no partition device for " << whole.path();
  // Drive, then image path: a partition and its disk either way round, a
  // second device over the same file, and the file behind a device.
  const std::pair<std::string, std::string> cases[] = {{whole.path(), part},
                                                       {part, whole.path()},
                                                       {whole.path(), twin.path()},
                                                       {part, twin.path()},
                                                       {dir.path("disk.fd"), part}};
  for (const auto& [drive, image] : cases) {
    SCOPED_TRACE(drive);
    DriveOn a("A", drive);
    expect_refused_as_image(image);
  }
  EXPECT_TRUE(read_file(dir.path("disk.fd")) == partitioned_disk()) << "the disk changed";
}

// How many 512-byte blocks of `a` and `b` are equal at the same offset.
std::size_t equal_blocks(const std::string& a, const std::string& b) {
  std::size_t equal = 0;
  for (std::size_t at = 0; at + 512 <= std::min(a.size(), b.size()); at += 512)
    equal += a.compare(at, 512, b, at, 512) == 0;
  return equal;
}

TEST_F(LoopDrives, AFileBehindALoopDeviceIsBusy) {
  const std::string disk = dir.path("disk.fd");
  ASSERT_FALSE(run("mkfs.ext4 -q -F " + disk + " 2>&1 && echo made").empty());
  const std::string data = patterned(disk_144, 10);
  write_file(dir.path("image.img"), image_of(80, 2, 18, data));
  LoopDevice device(disk, false);
  if (device.path().empty()) GTEST_SKIP() << "no free loop device";
  const Mount mounted(device.path(), dir.path("mnt"));
  if (!mounted) GTEST_SKIP() << "cannot mount here";
  DriveOn a("A", disk);
  ASSERT_EQ(library().writedisk("A", dir.path("image.img").c_str()), 0);
  EXPECT_EQ(finish(), JOB_DRIVE_OPEN_FAILED);
  ASSERT_EQ(library().readdisk("A", dir.path("copy.img").c_str(), "mounted"), 0);
  EXPECT_EQ(finish(), JOB_DRIVE_OPEN_FAILED);
  EXPECT_EQ(equal_blocks(read_file(disk), data), 0u) << "the image reached the file system";
}

// Runs `call` on a thread of its own; false when it has not returned within
// `limit`. A call stuck on the FIFO is then freed by opening its other end,
// so that the test fails instead of hanging.
bool returns_within(std::chrono::seconds limit, const std::string& fifo,
                    std::function<void()> call) {
  const auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread([call = std::move(call), done] {
    call();
    done->store(true);
  }).detach();
  if (eventually([&] { return done->load(); }, limit)) return true;
  const int unblock = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  eventually([&] { return done->load(); }, std::chrono::seconds(10));
  if (unblock >= 0) close(unblock);
  return false;
}

// The working directory for one test, restored afterwards.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& path) : old_(fs::current_path()) {
    fs::current_path(path);
  }
  ~WorkingDirectory() { fs::current_path(old_); }

 private:
  fs::path old_;
};

TEST(FileDrives, NothingButFilesAndBlockDevicesIsOpenedOrWaitedOn) {
  TempDir dir;
  write_file(dir.path("a.fd"), patterned(disk_144, 8));
  DriveOn a("A", dir.path("a.fd"));
  const std::string fifo = dir.path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& other : {fifo, std::string("/dev/null")}) {
    ASSERT_TRUE(returns_within(std::chrono::seconds(20), fifo, [other] {
      expect_refused_as_image(other);
    })) << other;
  }

  const auto label = std::make_shared<std::array<char, TESSIL_TEXT_SIZE>>();
  std::strcpy(label->data(), "untouched");
  EXPECT_TRUE(returns_within(std::chrono::seconds(10), fifo, [fifo, label] {
    library().getimageinfo(fifo.c_str(), label->data());
  }));
  EXPECT_STREQ(label->data(), "untouched");

  // The geometry query looks for a file in the drive's root: A:\file.txt.
  {
    const WorkingDirectory here(dir.path(""));
    const std::string probe = dir.path("A:\\file.txt");
    ASSERT_EQ(mkfifo(probe.c_str(), 0600), 0);
    const auto found = std::make_shared<std::atomic<int32_t>>(-1);
    EXPECT_TRUE(returns_within(std::chrono::seconds(10), probe, [found] {
      int32_t out[5];
      found->store(library().getdriveinfo("A", &out[0], &out[1], &out[2], &out[3], &out[4]));
    }));
    EXPECT_EQ(found->load(), 1);
  }
  // Nothing was left holding the library.
  ASSERT_EQ(library().readdisk("A", dir.path("after.img").c_str(), "after"), 0);
  EXPECT_EQ(finish(), JOB_OK);
}

TEST(FileDrives, DisksOf3GiBAndMoreCountEveryByte) {
  TempDir dir;
  const std::string drive = dir.path("big.fd"), image = dir.path("big.img");
  struct Case {
    std::uintmax_t size;
    std::size_t data;  // bytes of the image, less than the disk
  };
  for (const Case c : {Case{3 * gib, 512}, Case{4 * gib, 0}, Case{4 * gib + 512, 512}}) {
    SCOPED_TRACE(c.size);
    sparse_file(drive, c.size);
    DriveOn a("A", drive);
    const auto cylinders = static_cast<uint32_t>(c.size / 512);
    int32_t out[5] = {};
    ASSERT_EQ(library().getdriveinfo("A", &out[0], &out[1], &out[2], &out[3], &out[4]), 1);
    EXPECT_EQ(std::vector<int32_t>(out, out + 5),
              (std::vector<int32_t>{static_cast<int32_t>(cylinders), 1, 1, 512,
                                    static_cast<int32_t>(c.size & 0xFFFFFFFFu)}));

    // A short image is a short write, whatever the low 32 bits of the size.
    write_file(image, image_of(cylinders, 1, 1, patterned(c.data, 11)));
    ASSERT_EQ(library().writedisk("A", image.c_str()), 0);
    EXPECT_EQ(finish(), JOB_SHORT_WRITE);
    EXPECT_EQ(fs::file_size(drive), c.size);
    EXPECT_EQ(head_of(drive, c.data + 512), patterned(c.data, 11) + std::string(512, '\0'));

    // Progress goes from 0 towards 100 on the whole size.
    ASSERT_EQ(library().readdisk("A", image.c_str(), "big"), 0);
    std::vector<int32_t> seen;
    eventually(
        [&] {
          seen.push_back(library().getporcentage());
          return seen.back() != 0 || library().retvalue() == 0;
        },
        std::chrono::seconds(60));
    library().intcancel();
    EXPECT_EQ(finish(), JOB_CANCELLED);
    EXPECT_GT(seen.back(), 0) << "no progress";
    for (const int32_t percent : seen) EXPECT_TRUE(percent >= 0 && percent <= 100) << percent;
  }
}

TEST(FileDrives, ADriveFileCutOrDeletedDuringAWriteFails) {
  TempDir dir;
  const std::string drive = dir.path("long.fd"), image = dir.path("long.img");
  const std::pair<const char*, std::function<void()>> changes[] = {
      {"cut", [&] { fs::resize_file(drive, 512); }}, {"deleted", [&] { fs::remove(drive); }}};
  for (const auto& [name, change] : changes) {
    SCOPED_TRACE(name);
    sparse_file(drive, gib);
    write_file(image, image_of(static_cast<uint32_t>(gib / 512), 1, 1, ""));
    fs::resize_file(image, TESSIL_IMAGE_HEADER_SIZE + gib);
    DriveOn a("A", drive);
    ASSERT_EQ(library().writedisk("A", image.c_str()), 0);
    ASSERT_TRUE(job_reached(1));
    change();
    EXPECT_EQ(finish(), JOB_DRIVE_WRITE_FAILED);
  }
}

TEST(FileDrives, OfEightStartsAtOnceExactlyOneRuns) {
  TempDir dir;
  sparse_file(dir.path("long.fd"), gib);
  DriveOn a("A", dir.path("long.fd"));
  std::latch go(8);
  std::atomic<int> started{0};
  std::vector<std::thread> callers;
  for (int i = 0; i < 8; ++i)
    callers.emplace_back([&, i] {
      const std::string image = dir.path(std::to_string(i) + ".img");
      go.arrive_and_wait();
      if (library().readdisk("A", image.c_str(), "race") == 0) ++started;
    });
  for (std::thread& caller : callers) caller.join();
  EXPECT_EQ(started.load(), 1);
  library().intcancel();
  EXPECT_EQ(finish(), JOB_CANCELLED);
  EXPECT_EQ(entries(dir.path("").c_str()), 2u) << "the drive and one image, no other";
}

// Runs in a process of its own (see CMakeLists.txt), where nothing else has
// loaded the library: its dlclose is the last.
TEST(Unloading, ADlcloseDuringAJobLeavesItsCodeInPlace) {
  if (void* loaded = dlopen(TESSIL_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD)) {
    dlclose(loaded);
    GTEST_SKIP() << "the library is loaded already in this process";
  }
  TempDir dir;
  sparse_file(dir.path("long.fd"), gib);
  DriveOn a("A", dir.path("long.fd"));
  const Library lib = load();
  ASSERT_NE(lib.handle, nullptr) << dlerror();
  ASSERT_EQ(lib.readdisk("A", dir.path("long.img").c_str(), "unload"), 0);
  ASSERT_TRUE(job_reached(1, lib));
  ASSERT_EQ(dlclose(lib.handle), 0);
  // Still mapped, so the worker goes on and still answers.
  void* again = dlopen(TESSIL_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(again, nullptr) << "unmapped under its running job";
  lib.intcancel();
  EXPECT_EQ(finish(lib), JOB_CANCELLED);
  dlclose(again);
}

// The paths of the descriptors open on `path`.
std::vector<int> descriptors_on(const std::string& path) {
  std::vector<int> found;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc/self/fd", error))
    if (fs::read_symlink(entry.path(), error) == path)
      found.push_back(std::stoi(entry.path().filename().string()));
  return found;
}

TEST(FileDrives, ImagesAreDurableAndNeverInherited) {
  TempDir dir;
  const std::string drive = fs::canonical(dir.path("")) / "long.fd";
  const std::string image = fs::canonical(dir.path("")) / "new.img";
  sparse_file(drive, gib);
  DriveOn a("A", drive);
  clear_synced();
  ASSERT_EQ(library().readdisk("A", image.c_str(), "x"), 0);
  ASSERT_TRUE(job_reached(1));
  // A program started meanwhile inherits neither the image nor the drive.
  for (const std::string& path : {image, drive}) {
    const std::vector<int> open_on = descriptors_on(path);
    EXPECT_FALSE(open_on.empty()) << path;
    for (const int fd : open_on) EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << path;
  }
  library().intcancel();
  EXPECT_EQ(finish(), JOB_CANCELLED);
  // The new file's data, then the directory entry that names it.
  const std::vector<std::string> order = synced_paths();
  const auto file = std::find(order.begin(), order.end(), image);
  EXPECT_NE(file, order.end());
  EXPECT_NE(std::find(file, order.end(), fs::path(image).parent_path().string()), order.end());
}

TEST(FileDrives, ALongLabelIsCutBetweenCharacters) {
  TempDir dir;
  write_file(dir.path("tiny.fd"), patterned(8 * 512, 12));
  DriveOn a("A", dir.path("tiny.fd"));
  const std::string e_acute = "\xC3\xA9", euro = "\xE2\x82\xAC";
  const std::pair<std::string, std::size_t> labels[] = {{std::string(298, 'a') + e_acute, 298},
                                                        {std::string(297, 'b') + euro, 297},
                                                        {std::string(296, 'c') + euro, 299}};
  for (const auto& [label, kept] : labels) {
    ASSERT_EQ(library().readdisk("A", dir.path("tiny.img").c_str(), label.c_str()), 0);
    ASSERT_EQ(finish(), JOB_OK);
    std::string stored(TESSIL_TEXT_SIZE, ' ');
    library().getimageinfo(dir.path("tiny.img").c_str(), stored.data());
    EXPECT_EQ(stored.c_str(), label.substr(0, kept));
  }
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
