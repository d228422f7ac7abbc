// tessil-cli run as `nobody` on drives that only udisks2 opens for it: each
// command asks udisks2 (and polkit, which may ask for a password) once, and
// a refusal says what it was and what to do.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "image_format.h"
#include "tessil.h"
#include "udisks_fixture.h"

namespace tessil::platform::linux_os {
namespace {

using testing::LoopDevice;
using testing::ScopedEnv;
namespace fs = std::filesystem;

constexpr std::size_t disk_144 = 1'474'560;

class UdisksCommandTest : public testing::UdisksOpenTest {
 protected:
  struct Run {
    std::string status;
    std::string out;
    std::string err;
  };

  // tessil-cli with `arguments`, as `nobody`, in out/; the calls the
  // stand-in saw are counted from this run on.
  Run cli(const std::string& arguments) {
    fs::remove(calls());
    const std::string command = "cd " + out().string() + " && " + TESSIL_CLI_PATH + " " +
                                arguments + " >stdout 2>stderr </dev/null";
    Run run;
    run.status = testing::run_as_nobody([&] {
      const int status = std::system(command.c_str());
      return std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    });
    run.out = testing::read_text(out() / "stdout");
    run.err = testing::read_text(out() / "stderr");
    return run;
  }
};

TEST_F(UdisksCommandTest, EachCommandOpensTheDriveOnceForAllItDoes) {
  if (std::system("command -v losetup >/dev/null 2>&1") != 0) GTEST_SKIP() << "no losetup";
  testing::write_file(dir_ / "disk.img", testing::pattern(disk_144));
  const LoopDevice loop(dir_ / "disk.img", false);
  if (loop.path().empty()) GTEST_SKIP() << "losetup could not attach a loop device";
  const std::string node = root_only_node(loop, "disk");
  const ScopedEnv drive("TESSIL_DRIVE_U", node);
  ASSERT_NO_FATAL_FAILURE(start_bus());
  ASSERT_NO_FATAL_FAILURE(start_udisks({node}));
  const std::string exclusive = std::to_string(O_EXCL);

  // The report's look at the drive, the job's query and its copy.
  Run run = cli("read U copy.tsl");
  EXPECT_EQ(run.status, "0") << run.err;
  EXPECT_EQ(seen_calls(), "r " + exclusive + "\n");

  // A batch finds the disk, reads its label and copies it through the one
  // opening it found the disk through.
  run = cli("batch U box-%d --count 1 --label-from-volume");
  EXPECT_EQ(run.status, "0") << run.err;
  EXPECT_EQ(seen_calls(), "r " + exclusive + "\n");

  // The look before asking, the write, and the verify that reads the disk
  // back: all read-write from the start.
  const std::vector<std::byte> replacement = testing::pattern(disk_144, 4321);
  const HeaderBytes header = encode_header(ImageHeader{80, 2, 18, 512, {}});
  std::vector<std::byte> image(header.begin(), header.end());
  image.insert(image.end(), replacement.begin(), replacement.end());
  testing::write_file(out() / "new.tsl", image);
  run = cli("write new.tsl U --yes");
  EXPECT_EQ(run.status, "0") << run.err;
  EXPECT_NE(run.out.find("Verified:"), std::string::npos) << run.out;
  EXPECT_EQ(seen_calls(), "rw " + exclusive + "\n");
  EXPECT_TRUE(testing::read_file(dir_ / "disk.img") == replacement);
}

TEST_F(UdisksCommandTest, ARefusalSaysWhichActionAndWhatToDo) {
  const fs::path user = root_only_drive(testing::pattern(disk_144), 'U');
  const fs::path system = root_only_drive(testing::pattern(disk_144), 'V');
  ASSERT_NO_FATAL_FAILURE(start_bus());
  ASSERT_NO_FATAL_FAILURE(start_udisks({user.string(), system.string()}, "deny", "", system));
  const auto refusal = [](const fs::path& drive, char letter, const char* action) {
    return "tessil-cli: drive " + std::string(1, letter) + " (" + drive.string() +
           "): not authorised to open it (polkit refused org.freedesktop.udisks2." + action +
           "): join the group that owns the device, or ask an administrator for a polkit rule "
           "(see tessil-cli(1), ACCESS)\n";
  };

  Run run = cli("drives");
  EXPECT_EQ(run.status, "0");
  EXPECT_EQ(run.out.find("no disk"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(user.string() + " environment        not authorised -\n"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.err,
            refusal(user, 'U', "open-device") + refusal(system, 'V', "open-device-system"));

  // Asked once, though the report and the job both look at the drive; the
  // status stays that of a job that found no disk.
  run = cli("read U copy.tsl");
  EXPECT_EQ(run.status, std::to_string(JOB_NO_MEDIA));
  EXPECT_EQ(run.err, refusal(user, 'U', "open-device"));
  EXPECT_EQ(seen_calls(), "r 0\n");
  EXPECT_FALSE(fs::exists(out() / "copy.tsl"));
}

}  // namespace
}  // namespace tessil::platform::linux_os
