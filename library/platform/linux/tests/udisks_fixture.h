// A private D-Bus daemon, a stand-in udisks2 on it (python3-dbusmock,
// template udisks2_mock.py) and drives only root may open, for the tests
// that open drives through udisks2 in a child process that gave up root for
// `nobody`. Needs root, dbus-daemon and python3-dbusmock; skipped without
// them.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

extern char** environ;

namespace tessil::platform::linux_os::testing {

namespace fs = std::filesystem;

// Debian's own interpreter, the one python3-dbusmock is installed for.
inline constexpr const char* python = "/usr/bin/python3";

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
inline bool name_owned(const char* name) {
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
inline bool eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
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

  // The stand-in udisks2, knowing and opening `devices`, refusing
  // read-write opens of `write_protected` with EROFS, and counting `system`
  // as a device the system set up.
  void start_udisks(const std::vector<std::string>& devices, const std::string& answer = "open",
                    const std::string& write_protected = "", const std::string& system = "") {
    std::string json = "{\"answer\": \"" + answer + "\", \"log\": \"" + calls().string() +
                       "\", \"write_protected\": [\"" + write_protected + "\"], \"system\": [\"" +
                       system + "\"], \"devices\": [";
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

  // A drive only root may open, behind `letter`.
  fs::path root_only_drive(const std::vector<std::byte>& content, char letter = 'U') {
    const fs::path drive = fs::canonical(dir_.path()) / (std::string("drive-") + letter + ".fd");
    testing::write_file(drive, content);
    fs::permissions(drive, fs::perms::owner_read | fs::perms::owner_write);
    drives_.emplace_back(std::string("TESSIL_DRIVE_") + letter, drive.string());
    return drive;
  }

  // A device node of `loop` that only root may open.
  std::string root_only_node(const LoopDevice& loop, const std::string& name) {
    struct stat info {};
    EXPECT_EQ(::stat(loop.path().c_str(), &info), 0);
    const fs::path node = fs::canonical(dir_.path()) / name;
    EXPECT_EQ(::mknod(node.c_str(), S_IFBLK | 0600, info.st_rdev), 0);
    return node.string();
  }

  // The OpenDevice calls the stand-in saw, one "MODE FLAGS" line each.
  fs::path calls() const { return dir_ / "calls.log"; }
  std::string seen_calls() const { return testing::read_text(calls()); }

  TempDir dir_;
  std::optional<ScopedEnv> address_;
  std::list<ScopedEnv> drives_;
  std::unique_ptr<Process> bus_;
  std::unique_ptr<Process> udisks_;  // stopped before the bus
};

}  // namespace tessil::platform::linux_os::testing
