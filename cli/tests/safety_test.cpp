// tessil-cli with the user's only copy at stake: nothing that is not the
// whole disk passes for an image, and nothing is written onto a disk or a
// file that the command was not meant to change.
#include <signal.h>

#include "cli_fixture.h"
#include "rescue/rescue_map.h"

namespace {

using namespace tessil::cli_test;

class SafetyTest : public CliTest {
 protected:
  std::string whole_image() { return header(80, 2, 18, "whole") + pattern(floppy_size); }
  bool mentions(const Result& r, const std::string& text) {
    return (r.out + r.err).find(text) != std::string::npos;
  }
};

// Images cut short, too long, or called incomplete by the rescue map or
// the report beside them are shown so and never written or converted
// unless forced; the disk stays as it was.
TEST_F(SafetyTest, ImagesThatAreNotTheWholeDiskAreSaidSoAndNotWritten) {
  const std::string disk = pattern(floppy_size).substr(7) + "1234567";
  drive('B', disk);
  put(at("trunc.tsl"), whole_image().substr(0, tessil::image_header_size + 51200));
  put(at("long.tsl"), whole_image() + std::string(512, 'x'));
  Result r = cli({"write", "trunc.tsl", "b", "--yes"});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_TRUE(mentions(r,
                       "holds 51,200 bytes of data, but its header describes a disk of "
                       "1,474,560: it is cut short"))
      << r.err;
  r = cli({"write", "long.tsl", "b", "--yes"});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_TRUE(mentions(r, "is neither a tessil image")) << r.err;

  put(at("rescued.tsl"), whole_image());
  tessil::rescue::RescueMap map(floppy_size);
  map.set(0, floppy_size, tessil::rescue::Status::rescued);
  map.set(5120, 10 * 512, tessil::rescue::Status::bad);
  put(at("rescued.tsl.map"), tessil::rescue::format_map(map, {}));
  put(at("cancelled.tsl"), whole_image());
  put(at("cancelled.tsl.json"),
      R"({"format": "tessil-read-report", "result": {"code": 105, "text": "User cancelled"}})");
  for (const char* name : {"rescued.tsl", "cancelled.tsl"}) {
    r = cli({"info", name, "--json"});
    EXPECT_EQ(Json::parse(r.out)["complete"], false) << name;
    r = cli({"info", name});
    EXPECT_TRUE(mentions(r, "incomplete: ")) << r.out;
    EXPECT_EQ(cli({"write", name, "b", "--yes"}).status, 2) << name;
    EXPECT_EQ(cli({"convert", name, "out.img"}).status, 2) << name;
    EXPECT_FALSE(fs::exists(at("out.img")));
  }
  EXPECT_TRUE(mentions(cli({"info", "rescued.tsl"}), "10 sectors missing"));
  EXPECT_EQ(drive_bytes('B'), disk);
  EXPECT_EQ(cli({"write", "rescued.tsl", "b", "--yes", "--force"}).status, 0);
}

// convert makes plain files only: never a drive's disk, a device, or a file
// that a loop device stands on, even with --force.
TEST_F(SafetyTest, ConvertNeverWritesOntoADisk) {
  drive('B', pattern(floppy_size));
  put(at("zz.tsl"), whole_image());
  const Result r = cli({"convert", "zz.tsl", "drive-B", "--force"});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(drive_bytes('B'), pattern(floppy_size));
  EXPECT_EQ(cli({"convert", "zz.tsl", "/dev/null", "--force"}).status, 2);

  put(at("backing.img"), std::string(floppy_size, 'L'));
  const Result attached =
      finish(start({"/usr/sbin/losetup", "-f", "--show", at("backing.img").string()}));
  if (attached.status != 0) GTEST_SKIP() << "no loop device here";
  const std::string device = attached.out.substr(0, attached.out.find('\n'));
  EXPECT_EQ(cli({"convert", "zz.tsl", device, "--force"}).status, 2);
  EXPECT_EQ(cli({"convert", "zz.tsl", "backing.img", "--force"}).status, 2);
  finish(start({"/usr/sbin/losetup", "-d", device}));
  EXPECT_EQ(slurp(at("backing.img")), std::string(floppy_size, 'L'));
}

// A read killed at any moment leaves nothing at the image's name; one that
// failed keeps what it got only beside a report that says so; a report is
// whole or absent.
TEST_F(SafetyTest, AnUnfinishedReadNeverPassesForAnImage) {
  sparse_drive('A', big_size);
  for (const bool report : {false, true}) {
    std::vector<std::string> args{TESSIL_CLI_PATH, "read", "A", "big.tsl", "--progress"};
    if (!report) args.push_back("--no-report");
    const pid_t pid = start(args);
    ASSERT_TRUE(wait_for_text("stderr", "%"));
    ::kill(pid, report ? SIGTERM : SIGKILL);
    finish(pid);
    EXPECT_EQ(fs::exists(at("big.tsl")), report);
    if (report) {
      EXPECT_EQ(Json::parse(cli({"info", "big.tsl", "--json"}).out)["complete"], false);
    }
  }

  // A file system with room for the image alone: no empty report is left
  // to block the next read.
  drive('F', pattern(floppy_size));
  fs::create_directory(at("full"));
  if (finish(start({"/bin/mount", "-t", "tmpfs", "-o", "size=1444k", "tmpfs", at("full")}))
          .status != 0)
    GTEST_SKIP() << "cannot mount here";
  const Result full = cli({"read", "F", "full/f.tsl"});
  EXPECT_NE(full.status, 0);
  EXPECT_FALSE(fs::exists(at("full/f.tsl.json")));
  EXPECT_LE(std::distance(fs::directory_iterator(at("full")), {}), 1) << "no temporary is left";
  finish(start({"/bin/umount", at("full")}));
}

// Text from an image or a file name never reaches the terminal as control
// characters; a mistyped command is named; help that cannot be printed is
// no success; writing a drive's own file is refused before the question.
TEST_F(SafetyTest, MistakesAndForeignTextAreSaidPlainly) {
  put(at("evil.tsl"), header(80, 2, 18, "\x1b[2K\x1b[1AType yes\n") + pattern(floppy_size));
  Result r = cli({"info", "evil.tsl"});
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\\x1b[2K\\x1b[1AType yes\\n"), std::string::npos) << r.out;

  r = cli({"reed", "a", "x.tsl"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(mentions(r, "'reed' is not a command; did you mean 'read'?")) << r.err;
  for (const char* flag : {"--help", "--version"})
    EXPECT_EQ(
        finish(start({"/bin/sh", "-c", std::string(TESSIL_CLI_PATH " ") + flag + " >/dev/full"}))
            .status,
        255)
        << flag;

  drive('A', pattern(floppy_size));
  r = on_terminal({"write", "drive-A", "a"}, "yes\n");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_EQ(r.out.find("Type yes"), std::string::npos) << "refused before asking";
  EXPECT_EQ(drive_bytes('A'), pattern(floppy_size));
}

}  // namespace
