// The formats as people type them, for format --type and convert --format.
#include "app/format_names.h"

#include <gtest/gtest.h>

namespace tessil::app {
namespace {

TEST(FormatNames, TypedNamesAndSizesInKilobytes) {
  for (const auto& [typed, size] :
       std::vector<std::pair<std::string, uint64_t>>{{"1440", 1'474'560},
                                                     {"1.44M", 1'474'560},
                                                     {"1.44 mb", 1'474'560},
                                                     {"720k", 737'280},
                                                     {"1722", 1'763'328},
                                                     {"1.2M", 1'228'800},
                                                     {"1200", 1'228'800},
                                                     {"2880", 2'949'120}}) {
    SCOPED_TRACE(typed);
    const StandardFormat* format = format_named(typed);
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->size, size);
  }
  for (const std::string typed : {"", "1441", "1.44", "big"})
    EXPECT_EQ(format_named(typed), nullptr) << typed;
}

}  // namespace
}  // namespace tessil::app
