// The kind of a new image follows its name, and a raw rescue with its map is
// GNU ddrescue's own pair, which either program goes on with.
#include "cli_fixture.h"

namespace tessil::cli_test {
namespace {

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(CliTest, ANewImagesKindFollowsItsNameUnlessAFlagSaysOtherwise) {
  const std::string disk = pattern(floppy_size);
  drive('A', disk);
  const uint64_t tessil_size = image_header_size + floppy_size;
  struct Case {
    std::vector<std::string> args;
    std::string image;
    uint64_t size;
  };
  const std::vector<Case> cases{
      {{"read", "A", "a.IMG"}, "a.IMG", floppy_size},
      {{"read", "A", "a.bin"}, "a.bin", tessil_size},
      {{"read", "A", "b.vfd", "--tessil"}, "b.vfd", tessil_size},
      {{"read", "A", "b.tsl", "--raw"}, "b.tsl", floppy_size},
      {{"read", "A", "r.ima", "--rescue"}, "r.ima", floppy_size},
      {{"convert", "a.bin", "c.flp"}, "c.flp", floppy_size},
      {{"convert", "a.IMG", "c.data"}, "c.data", tessil_size},
      {{"batch", "A", "box/d-%d.img", "--count", "1"}, "box/d-1.img", floppy_size},
      {{"batch", "A", "box/e-%d", "--count", "1"}, "box/e-1.tsl", tessil_size},
  };
  for (const Case& c : cases) {
    const Result r = cli(c.args);
    ASSERT_EQ(r.status, 0) << c.image << "\n" << r.err;
    EXPECT_EQ(fs::file_size(at(c.image)), c.size) << c.image;
  }
  EXPECT_EQ(slurp(at("r.ima")), disk);
  EXPECT_EQ(Json::parse(slurp(at("r.ima.json")))["image"]["kind"], "raw");

  // What cannot be made is refused before anything is.
  const Result label = cli({"read", "A", "l.img", "--label", "Box 3"});
  EXPECT_EQ(label.status, 2);
  EXPECT_TRUE(contains(label.err, "--tessil")) << label.err;
  const Result same = cli({"convert", "a.IMG", "same.img"});
  EXPECT_EQ(same.status, 2);
  EXPECT_TRUE(contains(same.err, "raw image already")) << same.err;
  EXPECT_FALSE(fs::exists(at("l.img")) || fs::exists(at("same.img")));
}

// Sectors that a map calls bad, as the rescue left them in the image.
void spoil(const fs::path& image, const std::vector<uint64_t>& sectors) {
  std::string bytes = slurp(image);
  for (const uint64_t sector : sectors) bytes.replace(sector * 512, 512, std::string(512, '\0'));
  put(image, bytes);
}

TEST_F(CliTest, ARawRescueGoesOnWithGnuDdrescueAndTheOtherWayRound) {
  if (std::system("command -v ddrescue >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "ddrescue is not installed";
  const std::string disk = pattern(floppy_size);
  drive('A', disk);
  const auto shell = [this](const std::string& script) {
    return finish(start({"/bin/sh", "-c", script}));
  };

  // Begun here, two sectors still bad; finished by ddrescue.
  ASSERT_EQ(cli({"read", "A", "ours.img", "--rescue"}).status, 0);
  put(at("ours.img.map"), map_with_bad({5, 900}));
  spoil(at("ours.img"), {5, 900});
  const Result theirs = shell(
      "ddrescue -r1 drive-A ours.img ours.img.map && "
      "ddrescuelog -D ours.img.map");
  EXPECT_EQ(theirs.status, 0) << theirs.err;
  EXPECT_TRUE(slurp(at("ours.img")) == disk);

  // Begun by ddrescue, which read the first 700 KiB; finished here, whatever
  // the image's name, as the raw image it is.
  const Result begun = shell("ddrescue -s 700KiB drive-A begun.bin begun.bin.map");
  ASSERT_EQ(begun.status, 0) << begun.err;
  ASSERT_LT(fs::file_size(at("begun.bin")), floppy_size);
  const Result wrong = cli({"read", "A", "begun.bin", "--rescue", "--tessil", "--no-report"});
  EXPECT_EQ(wrong.status, 108);
  EXPECT_TRUE(contains(wrong.err, "no tessil image's header")) << wrong.err;
  const Result ours = cli({"read", "A", "begun.bin", "--rescue", "--no-report"});
  EXPECT_EQ(ours.status, 0) << ours.err;
  EXPECT_TRUE(slurp(at("begun.bin")) == disk);
  EXPECT_EQ(shell("ddrescuelog -D begun.bin.map").status, 0) << slurp(at("begun.bin.map"));
}

// What a plain read that failed at sector 1000 leaves: the image up to
// there, and a report that says so.
void fail_read_at(const fs::path& image, uint64_t header, uint64_t sector) {
  put(image, slurp(image).substr(0, header + sector * 512));
  Json report = Json::parse(slurp(image.string() + ".json"));
  report["result"]["code"] = 104;
  report["image"]["size"] = header + sector * 512;
  put(image.string() + ".json", report.dump());
}

TEST_F(CliTest, ARescueGoesOnFromAFailedReadOrWithForceStartsAfresh) {
  const std::string disk = pattern(floppy_size);
  drive('A', disk);
  for (const auto& [name, header] :
       {std::pair{"f.tsl", image_header_size}, std::pair{"f.img", size_t(0)}}) {
    ASSERT_EQ(cli({"read", "A", name}).status, 0);
    fail_read_at(at(name), header, 1000);
    // Only what the read did not get is read now: sector 500, which no check
    // samples, keeps what the read got.
    drive('A', std::string(disk).replace(500 * 512, 512, std::string(512, 'X')));
    const Result r = cli({"read", "A", name, "--rescue", "--json", "--progress"});
    ASSERT_EQ(r.status, 0) << name << "\n" << r.err;
    EXPECT_TRUE(slurp(at(name)).substr(header) == disk) << name;
    const Json report = Json::parse(slurp(at(std::string(name) + ".json")));
    const Json document = Json::parse(r.out);
    EXPECT_EQ(report["result"]["code"], document["code"]);
    EXPECT_EQ(report["data"]["sha256"], document["sha256"]);
    EXPECT_EQ(report["data"]["md5"], document["md5"]);
    EXPECT_TRUE(contains(r.err, "100% decided, 2880 rescued, 0 bad")) << r.err;
    drive('A', disk);
  }

  // A rescue over an image of another disk starts afresh only when told to.
  drive('A', pattern(floppy_size).replace(0, 512, std::string(512, 'Y')));
  EXPECT_EQ(cli({"read", "A", "f.img", "--rescue"}).status, 108);
  const Result afresh = cli({"read", "A", "f.img", "--rescue", "--force"});
  ASSERT_EQ(afresh.status, 0) << afresh.err;
  EXPECT_EQ(slurp(at("f.img")).substr(0, 512), std::string(512, 'Y'));
  put(at("other.img"), disk);
  const Result alone = cli({"read", "A", "other.img", "--rescue"});
  EXPECT_EQ(alone.status, 2);
  EXPECT_TRUE(contains(alone.err, "--force")) << alone.err;
}

}  // namespace
}  // namespace tessil::cli_test
