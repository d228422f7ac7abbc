// Drives the user may not open, opened through udisks2: a private D-Bus
// daemon started here, a stand-in udisks2 on it (python3-dbusmock, template
// udisks2_mock.py) and the work done in a child process that gave up root for
// `nobody`, against drives only root may open. Needs root, dbus-daemon and
// python3-dbusmock; skipped without them.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "image_format.h"
#include "platform/linux/debug_channel.h"
#include "platform/linux/linux_drive.h"
#include "platform/platform.h"
#include "tessil.h"
#include "test_support.h"

extern char** environ;

namespace tessil::platform::linux_os {
namespace {

using testing::LoopDevice;
using testing::ScopedEnv;
using testing::TempDir;
namespace fs = std::filesystem;

constexpr std::string_view drive_u = "\\\\.\\U:";
constexpr std::size_t disk_144 = 1'474'560;
// Debian's own interpreter, the one python3-dbusmock is installed for.
constexpr const char* python = "/usr/bin/python3";

// A process started for one test and stopped with it; its output goes to
// `log`.
class Process {
 public:
  Process(const std::vector<std::string>& args, const fs::path& log) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Process() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

 private:
  pid_t pid_ = -1;
};

// True once `name` has an owner on the bus DBUS_SYSTEM_BUS_ADDRESS names.
bool name_owned(const char* name) {
  sd_bus* bus = nullptr;
  if (sd_bus_open_system(&bus) < 0) return false;
  sd_bus_message* reply = nullptr;
  int owned = 0;
  const bool asked =
      sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "NameHasOwner", nullptr, &reply, "s", name) >= 0 &&
      sd_bus_message_read(reply, "b", &owned) >= 0;
  sd_bus_message_unref(reply);
  sd_bus_close_unref(bus);
  return asked && owned;
}

// Polls `done` until it holds; false after half a minute.
bool eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// A job of the library in this process, waited for as the program does.
int32_t finish() {
  return eventually([] { return retvalue() == 0; }) ? getreturnvalue() : -1;
}

const char* name_of(Error error) {
  constexpr std::array names{"none",      "not_found", "no_medium", "access_denied", "busy",
                             "read_only", "no_space",  "io",        "other"};
  return names.at(static_cast<std::size_t>(error));
}

class UdisksOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to give it up";
    if (::access("/usr/bin/dbus-daemon", X_OK) != 0) GTEST_SKIP() << "no dbus-daemon";
    if (std::system("/usr/bin/python3 -c 'import dbusmock' 2>/dev/null") != 0)
      GTEST_SKIP() << "no python3-dbusmock";
    // `nobody` reaches the bus socket and writes its results into out/.
    fs::permissions(dir_.path(),
                    fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::create_directory(out());
    fs::permissions(out(), fs::perms::all);
  }

  fs::path out() const { return dir_ / "out"; }

  // A bus like the system bus, but private to this test: anyone may connect.
  void start_bus() {
    const fs::path config = dir_ / "bus.conf";
    std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                             "Configuration 1.0//EN\"\n"
                             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                             "<busconfig>\n"
                             "<listen>unix:path="
                          << (dir_ / "bus").string()
                          << "</listen><auth>EXTERNAL</auth>\n"
                             "<policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>"
                             "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                             "</policy></busconfig>\n";
    address_.emplace("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (dir_ / "bus").string());
    bus_ = std::make_unique<Process>(
        std::vector<std::string>{"/usr/bin/dbus-daemon", "--nofork", "--nopidfile",
                                 "--config-file=" + config.string()},
        dir_ / "bus.log");
    ASSERT_TRUE(eventually([] { return name_owned("org.freedesktop.DBus"); }))
        << "the private bus did not start";
    fs::permissions(dir_ / "bus", fs::perms::all);
  }

  // The stand-in udisks2, knowing and opening `devices`, and refusing
  // read-write opens of `write_protected` with EROFS.
  void start_udisks(const std::vector<std::string>& devices, const std::string& answer = "open",
                    const std::string& write_protected = "") {
    std::string json = "{\"answer\": \"" + answer + "\", \"log\": \"" + calls().string() +
                       "\", \"write_protected\": [\"" + write_protected + "\"], \"devices\": [";
    for (const std::string& device : devices)
      json += (json.back() == '[' ? "\"" : ", \"") + device + "\"";
    json += "]}";
    udisks_ =
        std::make_unique<Process>(std::vector<std::string>{python, "-m", "dbusmock", "--system",
                                                           "-t", TESSIL_UDISKS2_MOCK, "-p", json},
                                  dir_ / "udisks.log");
    ASSERT_TRUE(eventually([] { return name_owned("org.freedesktop.UDisks2"); }))
        << "the stand-in did not start";
  }

  // A drive only root may open, behind letter U.
  fs::path root_only_drive(const std::vector<std::byte>& content) {
    const fs::path drive = fs::canonical(dir_.path()) / "drive.fd";
    testing::write_file(drive, content);
    fs::permissions(drive, fs::perms::owner_read | fs::perms::owner_write);
    drive_.emplace("TESSIL_DRIVE_U", drive.string());
    return drive;
  }

  // The OpenDevice calls the stand-in saw, one "MODE FLAGS" line each.
  fs::path calls() const { return dir_ / "calls.log"; }
  std::string seen_calls() const { return testing::read_text(calls()); }

  TempDir dir_;
  std::optional<ScopedEnv> address_;
  std::optional<ScopedEnv> drive_;
  std::unique_ptr<Process> bus_;
  std::unique_ptr<Process> udisks_;  // stopped before the bus
};

TEST_F(UdisksOpenTest, AUserWithoutRightsReadsAndWritesADriveThroughIt) {
  const std::vector<std::byte> original = testing::pattern(disk_144);
  const fs::path drive = root_only_drive(original);
  ASSERT_NO_FATAL_FAILURE(start_bus());
  ASSERT_NO_FATAL_FAILURE(start_udisks({drive.string()}));
  // The image to write back: a header of the drive's geometry, then new data.
  const std::vector<std::byte> replacement = testing::pattern(disk_144, 12345);
  {
    const HeaderBytes header = encode_header(ImageHeader{80, 2, 18, 512, {}});
    std::vector<std::byte> image(header.begin(), header.end());
    image.insert(image.end(), replacement.begin(), replacement.end());
    testing::write_file(out() / "new.img", image);
  }
  const std::string image = (out() / "copy.img").string();
  const std::string other = (out() / "new.img").string();

  const std::string result = testing::run_as_nobody([&] {
    int32_t g[5] = {};
    std::string seen = getdriveinfo("U", &g[0], &g[1], &g[2], &g[3], &g[4]) ? "geometry " : "none ";
    seen += std::to_string(g[0]) + "/" + std::to_string(g[1]) + "/" + std::to_string(g[2]) + "/" +
            std::to_string(g[3]);
    seen += readdisk("U", image.c_str(), "label") == 0 ? ", read " + std::to_string(finish())
                                                       : ", read not started";
    seen += writedisk("U", other.c_str()) == 0 ? ", write " + std::to_string(finish())
                                               : ", write not started";
    return seen;
  });

  EXPECT_EQ(result, "geometry 80/2/18/512, read 0, write 0");
  const std::vector<std::byte> copy = testing::read_file(image);
  ASSERT_EQ(copy.size(), TESSIL_IMAGE_HEADER_SIZE + disk_144);
  EXPECT_TRUE(
      std::equal(original.begin(), original.end(), copy.begin() + TESSIL_IMAGE_HEADER_SIZE));
  EXPECT_TRUE(testing::read_file(drive) == replacement) << "the write job wrote the drive";
  // Each geometry query and the read job ask to read; only the write job
  // asks to write.
  EXPECT_EQ(seen_calls(), "r 0\nr 0\nr 0\nr 0\nrw 0\n");
}

TEST_F(UdisksOpenTest, ARefusalOrNoUdisksLeavesTheDriveUnopened) {
  const std::vector<std::byte> original = testing::pattern(disk_144);
  const fs::path drive = root_only_drive(original);
  const std::string trace = (out() / "trace.log").string();
  const ScopedEnv debug("TESSIL_DEBUG", trace);

  // Opens the drive for a write job and asks its geometry, as `nobody`.
  const auto attempt = [&] {
    return testing::run_as_nobody([] {
      reread_debug_target_for_testing();
      const auto start = std::chrono::steady_clock::now();
      Error opened = Error::none;
      const std::unique_ptr<Drive> disk = system().open_drive(drive_u, opened);
      DriveGeometry g;
      const Error queried = system().query_geometry(drive_u, g);
      const bool quick = std::chrono::steady_clock::now() - start < std::chrono::seconds(10);
      return std::string(disk ? "opened" : name_of(opened)) + " " + name_of(queried) +
             (quick ? "" : " slowly");
    });
  };
  const auto traced = [&] {
    const std::string text = testing::read_text(trace);
    fs::remove(trace);
    return text;
  };

  {
    const ScopedEnv no_bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (dir_ / "none").string());
    EXPECT_EQ(attempt(), "access_denied access_denied") << "no system bus";
    EXPECT_NE(traced().find("udisks2 did not open " + drive.string()), std::string::npos);
  }
  ASSERT_NO_FATAL_FAILURE(start_bus());
  EXPECT_EQ(attempt(), "access_denied access_denied") << "no udisks2";
  EXPECT_NE(traced().find("ServiceUnknown"), std::string::npos);

  ASSERT_NO_FATAL_FAILURE(start_udisks({drive.string()}, "deny"));
  EXPECT_EQ(attempt(), "access_denied access_denied") << "polkit said no";
  EXPECT_NE(traced().find("NotAuthorized"), std::string::npos);
  EXPECT_EQ(seen_calls(), "rw 0\nr 0\n");
  EXPECT_TRUE(testing::read_file(drive) == original) << "the drive is untouched";
}

TEST_F(UdisksOpenTest, ABlockDeviceStaysExclusiveAndWriteProtected) {
  if (std::system("command -v losetup >/dev/null 2>&1") != 0) GTEST_SKIP() << "no losetup";
  testing::write_file(dir_ / "disk.img", testing::pattern(disk_144));
  testing::write_file(dir_ / "protected.img", testing::pattern(disk_144));
  const LoopDevice writable(dir_ / "disk.img", false);
  const LoopDevice protected_disk(dir_ / "protected.img", true);
  if (writable.path().empty() || protected_disk.path().empty())
    GTEST_SKIP() << "losetup could not attach a loop device";
  // Device nodes of both that only root may open.
  const auto node_of = [&](const LoopDevice& loop, const std::string& name) {
    struct stat info {};
    EXPECT_EQ(::stat(loop.path().c_str(), &info), 0);
    const fs::path node = fs::canonical(dir_.path()) / name;
    EXPECT_EQ(::mknod(node.c_str(), S_IFBLK | 0600, info.st_rdev), 0);
    return node.string();
  };
  const std::string disk_node = node_of(writable, "disk");
  const std::string protected_node = node_of(protected_disk, "protected");
  ASSERT_NO_FATAL_FAILURE(start_bus());
  // The read-only loop device also stands for a write-protected USB floppy,
  // which refuses read-write opens outright.
  ASSERT_NO_FATAL_FAILURE(start_udisks({disk_node, protected_node}, "open", protected_node));

  const std::vector<std::byte> block = testing::pattern(512, 777);
  const std::string result = testing::run_as_nobody([&] {
    std::string seen;
    {
      const ScopedEnv env("TESSIL_DRIVE_U", disk_node);
      Error error = Error::other;
      const std::unique_ptr<Drive> disk = system().open_drive(drive_u, error);
      if (!disk || dynamic_cast<LinuxDrive&>(*disk).read_only()) return std::string("not rw");
      seen += "wrote " + std::string(name_of(disk->write(block)));
      seen += ", flushed " + std::string(name_of(disk->flush()));
      // Held with O_EXCL through udisks2 as it is without: a second job is turned away.
      const std::unique_ptr<Drive> second = system().open_drive(drive_u, error);
      seen += second ? ", second opened" : ", second " + std::string(name_of(error));
    }
    const ScopedEnv env("TESSIL_DRIVE_U", protected_node);
    Error error = Error::other;
    const std::unique_ptr<Drive> disk = system().open_drive(drive_u, error);
    if (!disk) return seen + ", protected " + name_of(error);
    std::array<std::byte, 512> first;
    seen +=
        dynamic_cast<LinuxDrive&>(*disk).read_only() ? ", protected read-only" : ", protected rw";
    seen += disk->read(first).count == 512 ? " reads" : " does not read";
    seen += ", then refuses " + std::string(name_of(disk->write(first)));
    return seen;
  });

  EXPECT_EQ(result,
            "wrote none, flushed none, second busy, protected read-only reads, then refuses "
            "read_only");
  std::vector<std::byte> expected = testing::pattern(disk_144);
  std::copy(block.begin(), block.end(), expected.begin());
  EXPECT_TRUE(testing::read_file(dir_ / "disk.img") == expected) << "the block reached the disk";
  const std::string excl = std::to_string(O_EXCL);
  EXPECT_EQ(seen_calls(),
            "rw " + excl + "\nrw " + excl + "\nr " + excl + "\nrw " + excl + "\nr " + excl + "\n");
}

}  // namespace
}  // namespace tessil::platform::linux_os
