// End-to-end runs of the built tessil-cli on file-backed drives: what a user
// or a script sees (exit statuses, output, files), not the engine's jobs.
#include "cli_fixture.h"

#include <functional>
#include <set>
#include <sstream>

namespace {

using namespace tessil::cli_test;

// The report's fields that the manual page documents: the bold names in its
// REPORT section, such as "drive.usb.vendor_id".
std::set<std::string> documented_report_fields() {
  const std::string page = slurp(TESSIL_CLI_MANPAGE);
  const std::size_t begin = page.find("\n# REPORT\n"), end = page.find("\n# ", begin + 1);
  std::set<std::string> fields;
  std::istringstream section(page.substr(begin, end - begin));
  for (std::string line; std::getline(section, line);) {
    if (!line.starts_with('*')) continue;  // descriptions and prose
    for (std::size_t open = line.find('*'); open != std::string::npos;) {
      const std::size_t close = line.find('*', open + 1);
      if (close == std::string::npos) break;
      std::string name = line.substr(open + 1, close - open - 1);
      std::erase(name, '\\');
      fields.insert(name);
      open = line.find('*', close + 1);
    }
  }
  return fields;
}

// Every field of `report` is documented, and every documented one is there
// (or lies below one that is null, such as drive.usb for a plain drive).
void expect_documented(const Json& report) {
  const std::set<std::string> documented = documented_report_fields();
  ASSERT_GT(documented.size(), 20u);
  std::set<std::string> present, null_ones;
  const std::function<void(const Json&, const std::string&)> walk = [&](const Json& value,
                                                                        const std::string& path) {
    if (value.is_object()) {
      if (!path.empty()) present.insert(path);
      for (const auto& [key, inner] : value.items())
        walk(inner, path.empty() ? key : path + "." + key);
      return;
    }
    present.insert(path);
    if (value.is_null()) null_ones.insert(path);
    EXPECT_TRUE(documented.contains(path)) << path << " is not in the manual page";
  };
  walk(report, "");
  for (const std::string& field : documented) {
    bool below_null = false;
    for (const std::string& null_one : null_ones) below_null |= field.starts_with(null_one + ".");
    EXPECT_TRUE(present.contains(field) || below_null) << field << " is missing from the report";
  }
}

TEST_F(CliTest, UsageErrorsExitTwoAndHelpAndVersionZero) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string in_out;  // expected on standard output
  };
  const std::vector<Case> cases{
      {{"--version"}, 0, "tessil-cli " TESSIL_VERSION "\n"},
      {{"--help"}, 0, "drives"},
      {{"read", "--help"}, 0, "--label"},
      {{"write", "--help"}, 0, "--no-verify"},
      {{"verify", "--help"}, 0, "IMAGE"},
      {{"convert", "--help"}, 0, "--label"},
      {{"convert", "x.tsl"}, 2, ""},
      {{}, 2, ""},
      {{"frobnicate"}, 2, ""},
      {{"info"}, 2, ""},
      {{"read", "A"}, 2, ""},
      {{"read", "1", "x.tsl"}, 2, ""},
      {{"read", "A", "x.tsl", "--label", std::string(300, 'x')}, 2, ""},
      {{"write", "x.tsl", "A", "--bogus"}, 2, ""},
      {{"batch", "--help"}, 0, "--label-from-volume"},
      {{"batch", "A", "x"}, 2, ""},       // no counter
      {{"batch", "A", "x%s"}, 2, ""},     // not a counter
      {{"batch", "A", "x%d-%d"}, 2, ""},  // two counters
      {{"batch", "A", "x%d/y"}, 2, ""},   // a counter in a folder's name
      {{"batch", "A", "x%d", "--count", "0"}, 2, ""},
      {{"batch", "A", "x%d", "--raw", "--tessil"}, 2, ""},
      {{"batch", "A", "x%d", "--retries", "1"}, 2, ""},  // only with --rescue
      {{"format", "--help"}, 0, "--type"},
      {{"format", "A", "--label", "X"}, 2, ""},  // only with --fat
      {{"format", "A", "--type", "1441"}, 2, ""},
  };
  for (const Case& c : cases) {
    const Result r = cli(c.args);
    const std::string what = c.args.empty() ? "(nothing)" : c.args[0] + " ...";
    EXPECT_EQ(r.status, c.status) << what << "\n" << r.err;
    if (c.status == 0) {
      EXPECT_NE(r.out.find(c.in_out), std::string::npos) << what << "\n" << r.out;
    } else {
      EXPECT_EQ(r.out, "") << what;
      EXPECT_NE(r.err, "") << what;
    }
  }
  EXPECT_EQ(cli({"--version"}).out, "tessil-cli " TESSIL_VERSION "\n");
  EXPECT_FALSE(fs::exists(at("x.tsl")));

  // Help fits a narrow terminal, between words, without the parser's notes.
  env_["COLUMNS"] = "60";
  for (const char* command : {"read", "batch", "write", "format"}) {
    const std::string help = cli({command, "--help"}).out;
    for (const char* note : {"Excludes", "Needs", "INT in", "REQUIRED"})
      EXPECT_EQ(help.find(note), std::string::npos) << command << ": " << note << "\n" << help;
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);)
      EXPECT_LE(line.size(), 60u) << command << ": " << line;
  }
}

TEST_F(CliTest, ReadThenWriteBackGivesTheSameDisk) {
  const std::string disk = pattern(floppy_size);
  drive('A', disk);
  drive('B', std::string(floppy_size, '\0'));

  const Result read = cli({"read", "a", "copy.tsl", "--label", "Backup 1"});
  ASSERT_EQ(read.status, 0) << read.err;
  EXPECT_EQ(read.err, "");  // nothing on a non-terminal without --progress
  EXPECT_EQ(slurp(at("copy.tsl")), header(80, 2, 18, "Backup 1") + disk);

  const Json info = Json::parse(cli({"info", "copy.tsl", "--json"}).out);
  EXPECT_EQ(info["label"], "Backup 1");
  EXPECT_EQ(
      info["geometry"],
      Json::parse(R"({"cylinders":80,"heads":2,"sectors_per_track":18,"bytes_per_sector":512})"));
  EXPECT_EQ(info["data_size"], floppy_size);
  EXPECT_EQ(info["complete"], true);

  const Result write = cli({"write", "copy.tsl", "b:", "--yes"});
  ASSERT_EQ(write.status, 0) << write.err;
  EXPECT_EQ(drive_bytes('B'), disk);
}

TEST_F(CliTest, DrivesAndInfoAsJson) {
  drive('A', pattern(floppy_size));
  drive('C', "");  // a drive without a disk

  const Result listed = cli({"drives", "--json"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  std::map<std::string, Json> by_letter;
  const Json list = Json::parse(listed.out);
  for (const Json& entry : list["drives"]) by_letter[entry["letter"].get<std::string>()] = entry;
  ASSERT_TRUE(by_letter.contains("A") && by_letter.contains("C")) << listed.out;
  EXPECT_EQ(by_letter["A"]["device"], at("drive-A").string());
  EXPECT_EQ(by_letter["A"]["kind"], "environment");
  EXPECT_EQ(by_letter["A"]["disk"], true);
  EXPECT_EQ(by_letter["A"]["size"], floppy_size);
  EXPECT_EQ(by_letter["A"]["geometry"]["sectors_per_track"], 18);
  EXPECT_EQ(by_letter["A"]["format"], "1.44 MB");
  EXPECT_EQ(by_letter["A"]["formats"], Json::array());  // a file is formatted by no one
  EXPECT_EQ(by_letter["C"]["disk"], false);
  // One drive alone says the same as the list.
  EXPECT_EQ(Json::parse(cli({"info", "c", "--json"}).out), by_letter["C"]);
  EXPECT_EQ(Json::parse(cli({"info", "A:", "--json"}).out), by_letter["A"]);
  EXPECT_NE(cli({"drives"}).out.find("no disk"), std::string::npos);
}

TEST_F(CliTest, ImageInfoTellsWhetherTheDataAreComplete) {
  struct Case {
    std::string name;
    std::string bytes;
    bool complete;
  };
  const std::vector<Case> cases{
      {"whole.tsl", header(80, 2, 18, "whole") + std::string(floppy_size, 'x'), true},
      {"short.tsl", header(80, 2, 18, "short") + std::string(floppy_size - 512, 'x'), false},
      // Labels from elsewhere need not be UTF-8; the JSON stays valid.
      {"latin1.tsl", header(40, 2, 9, "\xE9t\xE9") + std::string(368640, 'x'), true},
  };
  for (const Case& c : cases) {
    put(at(c.name), c.bytes);
    const Result r = cli({"info", c.name, "--json"});
    ASSERT_EQ(r.status, 0) << c.name << "\n" << r.err;
    EXPECT_EQ(Json::parse(r.out)["complete"], c.complete) << c.name;
  }
  // Files that are no image of either kind are said so, as convert says.
  put(at("cut.tsl"), header(80, 2, 18, "cut").substr(0, 100));
  put(at("empty.tsl"), "");
  put(at("README.TXT"), std::string(995, 't'));
  for (const char* name : {"cut.tsl", "empty.tsl", "README.TXT"}) {
    const Result r = cli({"info", name});
    EXPECT_EQ(r.status, 2) << name;
    EXPECT_NE(r.err.find("is neither a tessil image"), std::string::npos) << r.err;
  }
  EXPECT_EQ(cli({"info", "missing.tsl"}).status, 106);
}

TEST_F(CliTest, RefusesToReplaceWithoutForceOrConfirmation) {
  const std::string disk = pattern(floppy_size);
  drive('A', disk);
  drive('B', std::string(floppy_size, '\0'));
  put(at("keep.tsl"), "the user's own file");

  Result r = cli({"read", "A", "keep.tsl"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
  EXPECT_EQ(slurp(at("keep.tsl")), "the user's own file");
  r = cli({"read", "A", "keep.tsl", "--force"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(slurp(at("keep.tsl")).size(), tessil::image_header_size + floppy_size);

  // Nobody at a terminal to type yes.
  r = cli({"write", "keep.tsl", "B"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--yes"), std::string::npos) << r.err;
  EXPECT_EQ(drive_bytes('B'), std::string(floppy_size, '\0'));
}

TEST_F(CliTest, WriteOnATerminalWantsATypedYes) {
  const std::string disk = pattern(floppy_size);
  drive('A', disk);
  drive('B', std::string(floppy_size, '\0'));
  ASSERT_EQ(cli({"read", "A", "copy.tsl", "--label", "shown"}).status, 0);

  Result r = on_terminal({"write", "copy.tsl", "B"}, "no\n");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_NE(r.out.find("\"shown\""), std::string::npos) << r.out;
  EXPECT_EQ(drive_bytes('B'), std::string(floppy_size, '\0'));

  r = on_terminal({"write", "copy.tsl", "B"}, "yes\n");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(drive_bytes('B'), disk);
  // The progress line is redrawn in place, names its phase and ends complete.
  const std::size_t writing = r.out.find("\rWriting 100%  1440 KiB of 1440 KiB");
  EXPECT_NE(writing, std::string::npos) << r.out;
  const std::size_t verifying = r.out.find("\rVerifying 100%  1440 KiB of 1440 KiB");
  EXPECT_TRUE(verifying != std::string::npos && verifying > writing) << r.out;
}

TEST_F(CliTest, NoDrivesSaysHowOneAppears) {
  const Result r = cli({"drives"});
  if (!r.out.starts_with("No drives.")) GTEST_SKIP() << "this machine has a drive";
  for (const char* hint : {"group", "udisks2", "TESSIL_DRIVE_A="})
    EXPECT_NE(r.out.find(hint), std::string::npos) << r.out;
}

TEST_F(CliTest, NoDiskIsResult100AndTouchesNothing) {
  drive('A', pattern(floppy_size));
  drive('C', "");
  ASSERT_EQ(cli({"read", "A", "copy.tsl"}).status, 0);
  const std::vector<std::vector<std::string>> cases{
      {"read", "C", "new.tsl"},
      {"write", "copy.tsl", "C", "--yes"},
      {"write", "copy.tsl", "C"},
  };
  for (const auto& args : cases) {
    const Result r = cli(args);
    EXPECT_EQ(r.status, 100) << args[0];
    EXPECT_NE(r.err.find("No disk in drive: drive C (" + at("drive-C").string()), std::string::npos)
        << r.err;
  }
  EXPECT_FALSE(fs::exists(at("new.tsl")));
}

TEST_F(CliTest, SignalCancelsTheRunningJob) {
  struct Case {
    int signal;
    std::vector<std::string> args;
  };
  const std::vector<Case> cases{
      {SIGINT, {TESSIL_CLI_PATH, "read", "A", "big.tsl", "--progress"}},
      {SIGTERM, {TESSIL_CLI_PATH, "write", "marked.tsl", "B", "--yes", "--progress"}},
  };
  sparse_drive('A', big_size);
  sparse_drive('B', big_size);
  // An image whose last block is marked, so a write that ran to its end shows.
  put(at("marked.tsl"), header(static_cast<uint32_t>(big_size / 512), 1, 1, "big"));
  fs::resize_file(at("marked.tsl"), tessil::image_header_size + big_size - 512);
  std::ofstream(at("marked.tsl"), std::ios::binary | std::ios::app) << std::string(512, 'M');

  for (const Case& c : cases) {
    const pid_t pid = start(c.args);
    // The first progress line says the job is under way.
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (slurp(root_ / "stderr").find('%') == std::string::npos && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ::kill(pid, c.signal);
    const Result r = finish(pid);
    EXPECT_EQ(r.status, 105) << c.args[1] << "\n" << r.err;
    EXPECT_NE(r.err.find("User cancelled"), std::string::npos) << r.err;
  }
  EXPECT_LT(fs::file_size(at("big.tsl")), tessil::image_header_size + big_size);
  // The report of the cancelled read says so, and knows no bad sectors.
  const Json report = Json::parse(slurp(at("big.tsl.json")));
  EXPECT_EQ(report["result"]["code"], 105);
  EXPECT_TRUE(report["bad_sectors"].is_null());
  EXPECT_EQ(report["file"]["sha256"], sum("/usr/bin/sha256sum", at("big.tsl")));
  std::ifstream b(at("drive-B"), std::ios::binary);
  b.seekg(static_cast<std::streamoff>(big_size - 512));
  char last = 0;
  b.read(&last, 1);
  EXPECT_EQ(last, '\0');
}

TEST_F(CliTest, BashCompletionOffersCommandsOptionsLettersAndFiles) {
  const char* const helpers = "/usr/share/bash-completion/bash_completion";
  if (!fs::exists(helpers)) GTEST_SKIP() << helpers << " is not installed";
  env_["TESSIL_DRIVE_C"] = "/nowhere";
  put(at("disk.tsl"), "");
  const std::string script = std::string("source ") + helpers +
                             "; source " TESSIL_CLI_COMPLETION
                             "; COMP_LINE=$1; COMP_POINT=${#1}; read -ra COMP_WORDS <<<\"$1\";"
                             " [[ $1 == *' ' ]] && COMP_WORDS+=('');"
                             " COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _tessil_cli tessil-cli;"
                             " printf '%s\\n' \"${COMPREPLY[@]}\" | sort";
  const std::vector<std::pair<std::string, std::string>> cases{
      {"tessil-cli re", "read\n"},
      {"tessil-cli read ", "A\nB\nC\n"},
      {"tessil-cli read b", "B\n"},
      {"tessil-cli read A ", "disk.tsl\n"},
      {"tessil-cli write ", "disk.tsl\n"},
      {"tessil-cli write disk.tsl ", "A\nB\nC\n"},
      {"tessil-cli write --",
       "--force\n--format\n--help\n--no-verify\n--progress\n--raw\n--tessil\n--yes\n"},
      {"tessil-cli write --format disk.tsl ", "A\nB\nC\n"},
      {"tessil-cli format ", "A\nB\nC\n"},
      {"tessil-cli format A --type 14", "1440\n"},
      {"tessil-cli convert --fo", "--force\n--format\n"},
      {"tessil-cli verify disk.tsl ", "A\nB\nC\n"},
      {"tessil-cli convert disk.tsl ", "disk.tsl\n"},
      {"tessil-cli info --", "--help\n--json\n"},
      {"tessil-cli read --re", "--rescue\n--retries\n"},
      {"tessil-cli read A disk.tsl --rescue --fill ", "marker\nzero\n"},
      {"tessil-cli batch ", "A\nB\nC\n"},
      {"tessil-cli batch --count 3 a", "A\n"},
      {"tessil-cli batch --label-", "--label-from-volume\n"},
      {"tessil-cli batch A x%d --re", "--rescue\n--retries\n"},
  };
  for (const auto& [line, expected] : cases) {
    const Result r = finish(start({"/bin/bash", "-c", script, "bash", line}));
    EXPECT_EQ(r.out, expected) << line << "\n" << r.err;
  }
}

TEST_F(CliTest, ReportBesideTheImageHasItsDocumentedFieldsAndTrueChecksums) {
  const std::string disk = pattern(floppy_size);
  drive('A', disk);
  const Result read = cli({"read", "A", "copy.tsl", "--label", "Box 3"});
  ASSERT_EQ(read.status, 0) << read.err;
  const Json report = Json::parse(slurp(at("copy.tsl.json")));
  expect_documented(report);

  EXPECT_EQ(report["format_version"], 1);
  EXPECT_EQ(report["tool"]["version"], TESSIL_VERSION);
  EXPECT_EQ(report["command_line"],
            Json::array({TESSIL_CLI_PATH, "read", "A", "copy.tsl", "--label", "Box 3"}));
  EXPECT_EQ(report["drive"]["device"], at("drive-A").string());
  EXPECT_EQ(report["medium"]["size"], floppy_size);
  EXPECT_EQ(report["image"]["label"], "Box 3");
  EXPECT_EQ(report["result"]["code"], 0);
  EXPECT_EQ(report["bad_sector_count"], 0);
  EXPECT_LE(report["started"].get<std::string>(), report["ended"].get<std::string>());
  EXPECT_EQ(report["ended"].get<std::string>().size(), std::string("2024-05-01T10:00:00Z").size());
  // The data's sums are the disk's own; the file's are those of the file.
  put(root_ / "disk", disk);
  EXPECT_EQ(report["data"]["sha256"], sum("/usr/bin/sha256sum", root_ / "disk"));
  EXPECT_EQ(report["data"]["md5"], sum("/usr/bin/md5sum", root_ / "disk"));
  EXPECT_EQ(report["file"]["sha256"], sum("/usr/bin/sha256sum", at("copy.tsl")));
  EXPECT_EQ(report["file"]["md5"], sum("/usr/bin/md5sum", at("copy.tsl")));

  // An existing report is the user's, like an existing image.
  put(at("other.tsl.json"), "kept");
  Result r = cli({"read", "A", "other.tsl"});
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(fs::exists(at("other.tsl")));
  EXPECT_EQ(slurp(at("other.tsl.json")), "kept");
  EXPECT_EQ(r.err.find("--no-report"), std::string::npos) << r.err;
  r = cli({"read", "A", "other.tsl", "--no-report"});
  EXPECT_EQ(r.status, 2) << "a stale report never stays beside a new image";
  EXPECT_EQ(slurp(at("other.tsl.json")), "kept");
  r = cli({"read", "A", "other.tsl", "--force"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Json::parse(slurp(at("other.tsl.json")))["image"]["file"], "other.tsl");
  r = cli({"read", "A", "other.tsl", "--force", "--no-report"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(at("other.tsl.json"))) << "the old report goes with the old image";
  EXPECT_NE(r.err.find("removed the old report"), std::string::npos) << r.err;
}

TEST_F(CliTest, BatchReadsEachNewDiskOnceIntoTheNextFreeName) {
  const std::string one = fat_disk("DISK ONE"), two = fat_disk("DISK TWO");
  ASSERT_NE(one, two);
  env_["TESSIL_DRIVE_A"] = at("drive-A").string();  // empty for now
  // Names already taken, by an image and by a lone report, are passed.
  fs::create_directory(at("box"));
  put(at("box/disk-002.tsl"), "older image");
  put(at("box/disk-004.tsl.json"), "older report");

  const pid_t pid = start(
      {TESSIL_CLI_PATH, "batch", "a", "box/disk-%03d", "--count", "3", "--label-from-volume"});
  ASSERT_TRUE(wait_for_text("stderr", "Waiting for a disk"));
  insert('A', one);
  ASSERT_TRUE(wait_for_text("stdout", "\n", 1));
  // Left in, it is not read again; another disk swapped in at once is.
  ASSERT_TRUE(wait_for_text("stderr", "has been read"));
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  insert('A', two);
  ASSERT_TRUE(wait_for_text("stdout", "\n", 2));
  // Taken out and put back, a disk is read again.
  fs::remove(at("drive-A"));
  ASSERT_TRUE(wait_for_text("stderr", "Waiting for a disk", 2));
  insert('A', one);
  const Result r = finish(pid);
  ASSERT_EQ(r.status, 0) << r.err;

  struct Expected {
    int number;
    const std::string* disk;
    const char* label;
  };
  const std::vector<Expected> images{
      {1, &one, "DISK ONE"}, {3, &two, "DISK TWO"}, {5, &one, "DISK ONE"}};
  std::istringstream log(slurp(at("box/log.csv")));
  std::string line;
  std::getline(log, line);
  EXPECT_EQ(line, "number,file,time,result,bad_sectors,sha256,label,same_data_as");
  put(root_ / "one", one);
  put(root_ / "two", two);
  for (const Expected& e : images) {
    char name[32];
    std::snprintf(name, sizeof name, "box/disk-%03d.tsl", e.number);
    EXPECT_EQ(slurp(at(name)), header(80, 2, 18, e.label) + *e.disk) << name;
    const Json report = Json::parse(slurp(at(std::string(name) + ".json")));
    expect_documented(report);
    const std::string sha = sum("/usr/bin/sha256sum", root_ / (e.disk == &one ? "one" : "two"));
    EXPECT_EQ(report["data"]["sha256"], sha) << name;
    EXPECT_EQ(report["command_line"][1], "batch");
    ASSERT_TRUE(std::getline(log, line));
    EXPECT_TRUE(line.starts_with(std::to_string(e.number) + "," + name + ",")) << line;
    // The second reading of disk one is said to be that, and still kept.
    const std::string same = e.number == 5 ? "disk-001" : "";
    EXPECT_TRUE(line.ends_with(",0 Done,0," + sha + "," + e.label + "," + same)) << line;
    EXPECT_NE(r.out.find(name), std::string::npos) << r.out;
  }
  EXPECT_NE(r.out.find("  same data as disk-001\n"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("3 disks read, 0 failed, 1 duplicate;"), std::string::npos) << r.err;
  EXPECT_FALSE(std::getline(log, line)) << line;
  EXPECT_EQ(slurp(at("box/disk-002.tsl")), "older image");
  EXPECT_EQ(slurp(at("box/disk-004.tsl.json")), "older report");
  EXPECT_FALSE(fs::exists(at("box/disk-004.tsl")));
}

TEST_F(CliTest, BatchRawImagesKeepTheVolumeLabelInTheReport) {
  const std::string disk = fat_disk("RAW ONE");
  drive('A', disk);
  const Result r = cli({"batch", "A", "raw-%d", "--raw", "--label-from-volume", "--count", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(slurp(at("raw-1.img")), disk);
  const Json report = Json::parse(slurp(at("raw-1.img.json")));
  EXPECT_EQ(report["image"]["kind"], "raw");
  EXPECT_EQ(report["image"]["label"], "RAW ONE");
  // Without a header, the data are the whole file.
  EXPECT_EQ(report["data"], report["file"]);
  EXPECT_EQ(report["file"]["sha256"], sum("/usr/bin/sha256sum", at("raw-1.img")));

  // The same disk again, into the same log, is not kept when asked.
  const Result again = cli({"batch", "A", "raw-%d.img", "--skip-duplicates", "--count", "1"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_FALSE(fs::exists(at("raw-2.img")) || fs::exists(at("raw-2.img.json")));
  EXPECT_TRUE(slurp(at("log.csv")).find("\n2,,") != std::string::npos) << slurp(at("log.csv"));
  EXPECT_TRUE(slurp(at("log.csv")).ends_with(",,raw-1\n")) << slurp(at("log.csv"));
}

TEST_F(CliTest, RescueReportListsTheSectorsThatStayedBad) {
  const std::string disk = pattern(floppy_size);
  drive('A', disk);
  ASSERT_EQ(cli({"read", "A", "disk.tsl", "--rescue"}).status, 0);
  // The map as a damaged disk left it: sectors 100-103 and 700 bad.
  put(at("disk.tsl.map"),
      "# Mapfile\n0x00000000     +               1\n0x00000000  0x0000C800  +\n"
      "0x0000C800  0x00000800  -\n0x0000D000  0x0004A800  +\n0x00057800  0x00000200  -\n"
      "0x00057A00  0x00110600  +\n");
  struct Case {
    const char* retries;
    int status;
    int code;  // recorded in the report
    Json bad_sectors;
    int retries_made;
  };
  const std::vector<Case> cases{
      {"0", 4, 112, Json::array({100, 101, 102, 103, 700}), 0},
      {"3", 0, 0, Json::array(), 1},  // the first retry reads them all
  };
  for (const Case& c : cases) {
    const Result r = cli({"read", "A", "disk.tsl", "--rescue", "--retries", c.retries});
    ASSERT_EQ(r.status, c.status) << r.err;
    // Each pass replaces the report of the one before.
    const Json report = Json::parse(slurp(at("disk.tsl.json")));
    expect_documented(report);
    EXPECT_EQ(report["result"]["code"], c.code) << c.retries;
    EXPECT_EQ(report["bad_sectors"], c.bad_sectors) << c.retries;
    EXPECT_EQ(report["bad_sector_count"], c.bad_sectors.size()) << c.retries;
    EXPECT_EQ(report["retries"], c.retries_made) << c.retries;
    EXPECT_EQ(report["file"]["sha256"], sum("/usr/bin/sha256sum", at("disk.tsl")));
  }
  put(root_ / "disk", disk);
  EXPECT_EQ(Json::parse(slurp(at("disk.tsl.json")))["data"]["sha256"],
            sum("/usr/bin/sha256sum", root_ / "disk"));
}

TEST_F(CliTest, BatchRescuesEachDiskWithItsMap) {
  drive('A', pattern(floppy_size));
  const Result r = cli({"batch", "A", "r%02d", "--rescue", "--count", "1", "--start", "0"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("2880 of 2880 sectors rescued"), std::string::npos) << r.out;
  EXPECT_EQ(slurp(at("r00.tsl")), header(80, 2, 18, "") + pattern(floppy_size));
  EXPECT_TRUE(fs::exists(at("r00.tsl.map")));
  const Json report = Json::parse(slurp(at("r00.tsl.json")));
  EXPECT_EQ(report["bad_sectors"], Json::array());
  EXPECT_NE(slurp(at("log.csv")).find("\n0,r00.tsl,"), std::string::npos);
}

TEST_F(CliTest, BatchEndsOnSignalWhileWaiting) {
  env_["TESSIL_DRIVE_A"] = at("drive-A").string();
  const pid_t pid = start({TESSIL_CLI_PATH, "batch", "A", "disk%d", "--start", "7"});
  ASSERT_TRUE(wait_for_text("stderr", "Waiting for a disk"));
  ::kill(pid, SIGINT);
  const Result r = finish(pid);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(fs::exists(at("disk7.tsl")));
}

TEST_F(CliTest, RescueGoesOnFromItsMapAndSaysWhatIsMissing) {
  const std::string disk = fat_floppy(root_);
  if (disk.empty()) GTEST_SKIP() << "mkfs.fat and mtools are needed";
  drive('A', disk);

  const Result clean = cli({"read", "A", "disk.tsl", "--rescue"});
  ASSERT_EQ(clean.status, 0) << clean.err;
  EXPECT_NE(clean.out.find("2880 of 2880 sectors rescued"), std::string::npos) << clean.out;
  EXPECT_EQ(slurp(at("disk.tsl")), header(80, 2, 18, "") + disk);
  EXPECT_NE(slurp(at("disk.tsl.map")).find("0x00000000  0x00168000  +\n"), std::string::npos);

  // The map as another drive left it: sectors 100-103 and 700 bad. What the
  // image holds there is not the disk.
  put(at("disk.tsl.map"),
      "# Mapfile\n0x00000000     +               1\n0x00000000  0x0000C800  +\n"
      "0x0000C800  0x00000800  -\n0x0000D000  0x0004A800  +\n0x00057800  0x00000200  -\n"
      "0x00057A00  0x00110600  +\n");
  std::string image = slurp(at("disk.tsl"));
  image.replace(tessil::image_header_size + 100 * 512, 7, "garbage");
  put(at("disk.tsl"), image);

  const Result json =
      cli({"read", "A", "disk.tsl", "--rescue", "--retries", "0", "--fill", "marker", "--json"});
  ASSERT_EQ(json.status, 4) << json.err;
  const Json facts = Json::parse(json.out);
  EXPECT_EQ(facts["resumed"], true);
  EXPECT_EQ(facts["rescued_sectors"], 2875);
  EXPECT_EQ(facts["bad_sector_count"], 5);
  EXPECT_EQ(facts["bad_sectors"][4],
            Json::parse(R"({"sector":700,"cylinder":19,"head":0,"sector_in_track":17})"));
  EXPECT_EQ(facts["fat"]["damaged_files"], Json::parse(R"(["BIG.BIN"])"));
  EXPECT_EQ(facts["fat"]["fat_hit"], false);
  EXPECT_NE(image_sector(slurp(at("disk.tsl")), 100).find("UNREADABLE SECTOR 00000100"),
            std::string::npos);

  // A character per track, one row per head, unless every sector is asked for.
  const Result text = cli({"read", "A", "disk.tsl", "--rescue", "--retries", "0"});
  ASSERT_EQ(text.status, 4) << text.err;
  const std::string head0 = std::string(19, '.') + "X" + std::string(60, '.') + "\n";
  const std::string head1 = "..X" + std::string(77, '.') + "\n";
  for (const std::string& line :
       {std::string("2875 of 2880 sectors rescued, 5 bad, 0 not tried"), "\n" + head0 + head1,
        std::string(" 100 (2/1/11) 101 (2/1/12) 102 (2/1/13) 103 (2/1/14) 700 (19/0/17)\n"),
        std::string("FAT12 volume: boot sector intact, FAT intact, root directory intact\n"),
        std::string("Damaged: BIG.BIN\n")})
    EXPECT_NE(text.out.find(line), std::string::npos) << line << "\n" << text.out;
  const Result full = cli({"read", "A", "disk.tsl", "--rescue", "--retries", "0", "--picture"});
  EXPECT_NE(full.out.find("\n   2 .................. ..........XXXX....\n"), std::string::npos)
      << full.out;
  EXPECT_EQ(full.out.find(head1), std::string::npos) << full.out;

  const Result retried = cli({"read", "A", "disk.tsl", "--rescue", "--retries", "1"});
  ASSERT_EQ(retried.status, 0) << retried.err;
  EXPECT_EQ(slurp(at("disk.tsl")), header(80, 2, 18, "") + disk);

  // Refused, and nothing changed: a map of a larger disk than the drive's,
  // and an image without its map.
  sparse_drive('B', 737280);
  const std::string before = slurp(at("disk.tsl"));
  EXPECT_EQ(cli({"read", "B", "disk.tsl", "--rescue"}).status, 113);
  fs::remove(at("disk.tsl.map"));
  const Result no_map = cli({"read", "A", "disk.tsl", "--rescue"});
  EXPECT_EQ(no_map.status, 2);
  EXPECT_NE(no_map.err.find("its map"), std::string::npos) << no_map.err;
  EXPECT_EQ(slurp(at("disk.tsl")), before);
}

TEST_F(CliTest, RescueStoppedBySignalLeavesImageAndMapAgreeingAndGoesOn) {
  sparse_drive('A', big_size);
  const pid_t pid = start(
      {TESSIL_CLI_PATH, "read", "A", "big.tsl", "--rescue", "--progress", "--fill", "marker"});
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (slurp(root_ / "stderr").find("rescued") == std::string::npos && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ::kill(pid, SIGINT);
  const Result stopped = finish(pid);
  ASSERT_EQ(stopped.status, 105) << stopped.err;
  EXPECT_EQ(fs::file_size(at("big.tsl")), tessil::image_header_size + big_size);

  // Every area the map names holds what it says: the disk's zeros where
  // rescued, the marker elsewhere.
  std::string error;
  const std::optional<tessil::rescue::RescueMap> map =
      tessil::rescue::parse_map(slurp(at("big.tsl.map")), 512, big_size, error);
  ASSERT_TRUE(map) << error;
  EXPECT_FALSE(map->complete());
  std::ifstream image(at("big.tsl"), std::ios::binary);
  for (const tessil::rescue::Area& area : map->areas()) {
    for (const uint64_t pos : {area.pos, area.end() - 512}) {
      std::string sector(512, '\0');
      image.seekg(static_cast<std::streamoff>(tessil::image_header_size + pos));
      image.read(sector.data(), 512);
      const bool rescued = area.status == tessil::rescue::Status::rescued;
      EXPECT_EQ(sector == std::string(512, '\0'), rescued) << "at " << pos;
    }
  }

  const Result resumed = cli({"read", "A", "big.tsl", "--rescue", "--json"});
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_EQ(Json::parse(resumed.out)["resumed"], true);
}

// Output of a shell command run in the test's directory, or a skip when
// the tool is missing.
#define RUN_OR_SKIP(result, tool, script)                         \
  if (std::system("command -v " tool " >/dev/null 2>&1") != 0)    \
    GTEST_SKIP() << tool " is not installed";                     \
  const Result result = finish(start({"/bin/sh", "-c", script})); \
  ASSERT_EQ(result.status, 0) << script << "\n" << result.err

// disk -> tessil -> raw -> tessil -> disk, byte for byte, with the same
// checksums all the way, and the ones sha256sum and md5sum give.
TEST_F(CliTest, RoundTripThroughEveryKindOfImage) {
  const std::string disk = pattern(floppy_size);
  drive('A', disk);
  drive('B', std::string(floppy_size, '\0'));

  const Result read = cli({"read", "A", "first.tsl", "--label", "First", "--json"});
  ASSERT_EQ(read.status, 0) << read.err;
  const Json sums = Json::parse(read.out);
  ASSERT_EQ(cli({"convert", "first.tsl", "disk.img"}).status, 0);
  EXPECT_EQ(slurp(at("disk.img")), disk);
  ASSERT_EQ(cli({"convert", "disk.img", "second.tsl", "--label", "Second"}).status, 0);
  EXPECT_EQ(slurp(at("second.tsl")), header(80, 2, 18, "Second") + disk);

  RUN_OR_SKIP(tools, "sha256sum", "sha256sum disk.img && md5sum disk.img");
  EXPECT_EQ(tools.out.substr(0, 64), sums["sha256"]);
  EXPECT_NE(tools.out.find(sums["md5"].get<std::string>() + "  disk.img"), std::string::npos);
  for (const char* image : {"second.tsl", "disk.img"}) {
    const Json info = Json::parse(cli({"info", image, "--json"}).out);
    EXPECT_EQ(info["sha256"], sums["sha256"]) << image;
    EXPECT_EQ(info["md5"], sums["md5"]) << image;
    EXPECT_EQ(info["kind"], std::string(image).ends_with(".img") ? "raw" : "tessil");
  }

  const Result write = cli({"write", "second.tsl", "B", "--yes"});
  ASSERT_EQ(write.status, 0) << write.err;
  EXPECT_NE(write.out.find("Verified: drive B"), std::string::npos) << write.out;
  EXPECT_EQ(drive_bytes('B'), disk);
}

// A raw image made by mkfs.fat is written as it is; a raw image read from
// a disk lists its files with mdir.
TEST_F(CliTest, RawImagesOfTheFileSystemTools) {
  drive('B', std::string(floppy_size, '\0'));
  RUN_OR_SKIP(made, "mkfs.fat",
              "mkfs.fat -C -n RAWDISK dos.img 1440 && echo hello >hello.txt && "
              "mcopy -i dos.img hello.txt ::HELLO.TXT");
  const Result write = cli({"write", "dos.img", "B", "--yes"});
  ASSERT_EQ(write.status, 0) << write.err;
  EXPECT_EQ(drive_bytes('B'), slurp(at("dos.img")));

  ASSERT_EQ(cli({"read", "B", "back.img", "--raw"}).status, 0);
  EXPECT_EQ(slurp(at("back.img")), slurp(at("dos.img")));
  RUN_OR_SKIP(listed, "mdir", "mdir -i back.img ::");
  EXPECT_NE(listed.out.find("HELLO    TXT"), std::string::npos) << listed.out;
}

TEST_F(CliTest, ARawImageMustHaveTheDisksFormat) {
  drive('B', std::string(floppy_size, '\0'));
  put(at("small.img"), pattern(737280));  // 720 KB onto a 1.44 MB disk
  const Result r = cli({"write", "small.img", "B", "--yes"});
  EXPECT_EQ(r.status, 108) << r.err;
  EXPECT_NE(r.err.find("small.img is a 720 KB image; the disk in drive B"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(") is 1.44 MB\n"), std::string::npos) << r.err;
  EXPECT_EQ(drive_bytes('B'), std::string(floppy_size, '\0'));
}

// A file standing for a drive is no floppy drive: it is never formatted, and
// a write of another format is refused without offering --format.
TEST_F(CliTest, OnlyFloppyDrivesAreFormatted) {
  drive('B', std::string(floppy_size, '\0'));
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"format", "B", "--yes"}, {"format", "B", "--type", "720", "--fat", "--yes"}}) {
    const Result r = cli(args);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("format works on floppy drives only"), std::string::npos) << r.err;
  }
  put(at("small.img"), pattern(737280));
  const Result r = cli({"write", "small.img", "B", "--yes", "--format"});
  EXPECT_EQ(r.status, 108) << r.err;
  EXPECT_EQ(r.err.find("--format"), std::string::npos) << r.err;
  EXPECT_EQ(drive_bytes('B'), std::string(floppy_size, '\0'));
}

TEST_F(CliTest, VerifyTellsDifferingSectorsByAddressWithStatusThree) {
  const std::string disk = pattern(floppy_size);
  drive('B', disk);
  put(at("disk.tsl"), header(80, 2, 18, "") + disk);
  Result r = cli({"verify", "disk.tsl", "B"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("2880 sectors"), std::string::npos) << r.out;

  std::string changed = disk;
  for (const uint64_t sector : {0u, 19u, 2879u}) changed[sector * 512 + 9] ^= 0x20;
  put(at("drive-B"), changed);
  r = cli({"verify", "disk.tsl", "B"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("3 sectors differ, first at C/H/S 0/0/1 (sector 0), 0/1/2 (sector 19), "
                       "79/1/18 (sector 2879)"),
            std::string::npos)
      << r.err;
  r = cli({"verify", "disk.tsl", "B", "--json"});
  EXPECT_EQ(r.status, 3);
  const Json found = Json::parse(r.out);
  EXPECT_EQ(found["differing_sectors"], 3);
  EXPECT_EQ(found["first_differences"][2],
            Json::parse(R"({"sector":2879,"cylinder":79,"head":1,"sector_in_track":18})"));

  // Writing puts it right; --no-verify leaves out the read-back.
  r = cli({"write", "disk.tsl", "B", "--yes", "--no-verify"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("Verified"), std::string::npos) << r.out;
  EXPECT_EQ(cli({"verify", "disk.tsl", "B"}).status, 0);
  EXPECT_EQ(cli({"verify", "missing.tsl", "B"}).status, 106);
}

TEST_F(CliTest, ConvertRefusesWhatItCannotDoAndKeepsWhatExists) {
  drive('A', pattern(floppy_size));
  put(at("disk.tsl"), header(80, 2, 18, "L") + pattern(floppy_size));
  put(at("keep.img"), "the user's own file");
  put(at("note.txt"), "neither kind");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;
  };
  const std::vector<Case> cases{
      {{"convert", "disk.tsl", "keep.img"}, 2, "--force"},
      {{"convert", "note.txt", "new.img"}, 2, "neither a tessil image"},
      {{"convert", "disk.tsl", "new.img", "--label", "X"}, 2, "no label"},
      {{"convert", "missing.tsl", "new.img"}, 106, "missing.tsl"},
      {{"convert", "disk.tsl", "disk.tsl", "--force"}, 2, "itself"},
      {{"convert", "disk.tsl", "nodir/new.img"}, 102, "the folder nodir does not exist"},
      {{"read", "A", "nodir/new.tsl"}, 2, "the folder nodir does not exist"},
  };
  for (const Case& c : cases) {
    const Result r = cli(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[1] << "\n" << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
  EXPECT_EQ(slurp(at("keep.img")), "the user's own file");
  EXPECT_EQ(slurp(at("disk.tsl")).size(), tessil::image_header_size + floppy_size);
  EXPECT_FALSE(fs::exists(at("new.img")));
  EXPECT_EQ(cli({"convert", "disk.tsl", "keep.img", "--force"}).status, 0);
  EXPECT_EQ(slurp(at("keep.img")), pattern(floppy_size));
}

}  // namespace
