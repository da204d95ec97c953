#include "foundation/Format.h"

#include <gtest/gtest.h>

#include <optional>

namespace vantor {
namespace {

TEST(FormatTest, FillsEveryConversionTheSystemUses) {
  struct Case {
    std::string got, want;
  } cases[] = {
      {makeString("%@ and %@", "a", std::string("b")), "a and b"},
      {makeString("%i/%d/%li/%ld", 1, -2, 3L, 4L), "1/-2/3/4"},
      {makeString("%lu %llu %u", 5UL, 6ULL, 7U), "5 6 7"},
      {makeString("Downloaded %.2f of %.f MB (%.2f%%)", 1.5, 10.0, 15.0), "Downloaded 1.50 of 10 MB (15.00%)"},
      {makeString("%s|%f", "x", 0.5), "x|0.500000"},
      {makeString("0x%08x", 255U), "0x000000ff"},
      {makeString("%%"), "%"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(FormatTest, AbsentValuesPrintAsNull) {
  std::optional<std::string> none;
  EXPECT_EQ(makeString("[%@]", none), "[(null)]");
  EXPECT_EQ(makeString("[%@]", nullptr), "[(null)]");
  EXPECT_EQ(makeString("[%@]", static_cast<const char*>(nullptr)), "[(null)]");
  EXPECT_EQ(makeString("[%@] [%@]", "only one"), "[only one] [(null)]");
  EXPECT_EQ(makeString("[%@]", std::optional<std::string>("")), "[]");
}

TEST(FormatTest, DescribesDynamicValues) {
  EXPECT_EQ(makeString("%@", Json("text")), "text");
  EXPECT_EQ(makeString("%@", Json(true)), "1");
  EXPECT_EQ(makeString("%@", Json(nullptr)), "<null>");
  EXPECT_EQ(makeString("%@", Json::array({1, "a"})), "[1,\"a\"]");
}

}  // namespace
}  // namespace vantor
