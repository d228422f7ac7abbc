// The one table of outcomes: numbers and names that mean one thing each,
// words and an exit status for every one, and the library's own result
// codes with the words callers have always seen.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "outcomes.h"
#include "tessil.h"

namespace tessil {
namespace {

TEST(Outcomes, EachNumberAndNameMeansOneThingWithWordsAndAnExitStatus) {
  std::set<int32_t> numbers;
  std::set<std::string_view> names, words;
  for (const Outcome& row : outcomes) {
    EXPECT_TRUE(numbers.insert(row.number).second) << row.number;
    EXPECT_TRUE(names.insert(row.name).second) << row.name;
    EXPECT_TRUE(words.insert(row.words).second) << row.words;
    EXPECT_GE(row.exit_status, 0);
    EXPECT_LE(row.exit_status, 255);
    EXPECT_EQ(row.exit_status == 0, row.number == outcome::done) << row.name;
    if (library_result(row.number)) {
      EXPECT_EQ(row.exit_status, row.number) << row.name;
    }
  }
  // The command line's statuses beside the job codes are one outcome each.
  std::set<int> statuses;
  for (const Outcome& row : outcomes)
    EXPECT_TRUE(statuses.insert(row.exit_status).second) << row.name;
  for (int32_t code = 100; code <= 110; ++code) EXPECT_TRUE(library_result(code));
  EXPECT_EQ(result_text(JOB_NO_MEDIA), "No disk in drive");
  EXPECT_EQ(result_text(JOB_GEOMETRY_MISMATCH), "Image file and floppy don't match");
  EXPECT_EQ(result_text(12345), "Unexpected error");
}

}  // namespace
}  // namespace tessil
