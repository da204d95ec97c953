#include <gtest/gtest.h>
#include <stdlib.h>

#include <thread>

#include "sources/ZRSULetterSuffixVersionComparator.h"
#include "sources/ZRSUStandardVersionComparator.h"

namespace vantor::sources {
namespace {

struct VersionCase {
  const char* a;
  const char* b;
  int standard;  // compareVersion of the standard comparator
  int special;   // compareVersion of the letter-suffix variant
};

// Both comparators on every pair; they differ only where a version ends in a lowercase
// letter.
const VersionCase kCases[] = {
    // the ".0" / ".0.0" suffix rule, and what it does not cover
    {"1.0", "1.0.0", 0, 0},
    {"1.0", "1.0.0.0", 0, 0},
    {"1.0.0.0", "1.0", 0, 0},
    {"1", "1.0.0.0", -1, -1},
    {"1.0.1", "1.0", 1, 1},
    // digits compare by value
    {"1.10", "1.9", 1, 1},
    {"1.9", "1.10", -1, -1},
    {"1.010", "1.10", 0, 0},
    {"2", "10", -1, -1},
    // the class table: a trailing string marks a pre-release
    {"1.0b1", "1.0", -1, -1},
    {"1.0", "1.0b1", 1, 1},
    {"1.0b1", "1.0b2", -1, -1},
    {"1.0b2", "1.0rc1", -1, -1},
    {"1.0a", "1.0", -1, 1},
    {"1.2b", "1.2a", 1, 1},
    {"1.2b", "1.2.2", -1, 0},
    {"2.0beta", "2.0bet.1", 1, 0},
    {"1.0", "1a", 1, -1},  // number beats string; the variant reads "1a" as 1.1
    {"1.0", "1 a", 1, 1},  // separator beats string
    {"1a", "1.0", -1, 1},
    {"1.a", "1.1", -1, -1},  // string loses to number
    {"1.+", "1.1", -1, -1},  // "+" is a symbol, so a string
    // strings are ordered as text, case-sensitively
    {"1.0B", "1.0a", -1, -1},
    // the "v" prefix
    {"v2.0", "1.9", 1, 1},
    {"1.9", "v2.0", -1, -1},
    {"v2.0", "v1.9", 1, 1},
    {"v2.0", "2.0", 0, 0},
    {"vv2", "2", -1, -1},  // only "v" followed by a digit is a prefix
    {"v2", "1", -1, -1},   // too short to lose its "v": a string against a number
    // unknown markers
    {"", "1.0", -1, -1},
    {"1.0", "", 1, 1},
    {"?", "2", -1, -1},
    {"2", "?", 1, 1},
    {"?", "?", -1, -1},
    {"", "", 0, 0},
    {"", "?", -1, -1},
    {"?", "", 1, 1},
    // separators are equal whatever their character, and come one per part
    {"1.0-2", "1.0.2", 0, 0},
    {"1_0", "1:0", 0, 0},
    {"1..0", "1.0", -1, -1},  // a separator loses to a number
    {"1.0 (123)", "1.0 (124)", -1, -1},
    {"1.0 (124)", "1.0 (123)", 1, 1},
    {"1.0\n2", "1.0.2", 0, 0},
    {"1\xE3\x80\x82"
     "5",
     "1.5", 0, 0},  // ideographic full stop is punctuation
    // Unicode digits are numbers
    {"1.\xD9\xA2", "1.1", 1, 1},  // Arabic-Indic two
    // numbers beyond 64 bits keep their order
    {"1.99999999999999999999", "1.99999999999999999998", 1, 1},
    {"1.18446744073709551616", "1.9223372036854775807", 1, 1},
    {"100000000000000000000000000001", "100000000000000000000000000001", 0, 0},
    {"1.0000000000000000000000000002", "1.2", 0, 0},
};

TEST(ZRSUStandardVersionComparatorTest, ComparesThePairsOfTheTable) {
  const auto& standard = ZRSUStandardVersionComparator::defaultComparator();
  const auto& special = ZRSUSpecialVersionComparator::defaultComparator();
  for (const VersionCase& c : kCases) {
    EXPECT_EQ(standard.compareVersion(c.a, c.b), c.standard) << '"' << c.a << "\" vs \"" << c.b << '"';
    EXPECT_EQ(special.compareVersion(c.a, c.b), c.special) << '"' << c.a << "\" vs \"" << c.b << "\" (special)";
    EXPECT_EQ(standard.compareVersionWithLetterSuffix(c.a, c.b), c.special) << c.a << " vs " << c.b;
  }
}

TEST(ZRSUStandardVersionComparatorTest, SplitsIntoRunsAndSingleSeparators) {
  using V = std::vector<std::string>;
  EXPECT_EQ(ZRSUStandardVersionComparator::splitVersionString("1.10b2"), (V{"1", ".", "10", "b", "2"}));
  EXPECT_EQ(ZRSUStandardVersionComparator::splitVersionString("1..0 (12)"),
            (V{"1", ".", ".", "0", " ", "(", "12", ")"}));
  EXPECT_EQ(ZRSUStandardVersionComparator::splitVersionString("beta~+3"), (V{"beta~+", "3"}));
  EXPECT_TRUE(ZRSUStandardVersionComparator::splitVersionString("").empty());
}

TEST(ZRSUStandardVersionComparatorTest, ClassifiesByUnicodeCategory) {
  using C = ZRSUStandardVersionComparator;
  EXPECT_EQ(C::typeOfCharacter("7"), C::kNumberType);
  EXPECT_EQ(C::typeOfCharacter("\xD9\xA7"), C::kNumberType);  // Arabic-Indic seven
  EXPECT_EQ(C::typeOfCharacter("\xC2\xB2"), C::kStringType);  // superscript two is no decimal digit
  for (const char* separator : {".", "-", "_", ",", ":", "(", "]", " ", "\t", "\n", "\xE3\x80\x81"})
    EXPECT_EQ(C::typeOfCharacter(separator), C::kSeparatorType) << separator;
  for (const char* text : {"a", "Z", "+", "~", "$", "\xC3\xA9"})
    EXPECT_EQ(C::typeOfCharacter(text), C::kStringType) << text;
  EXPECT_EQ(C::typeOfCharacter("9abc"), C::kNumberType);  // the first character decides
}

class ScopedSystemVersion {
 public:
  explicit ScopedSystemVersion(const char* version) { setenv("VANTOR_SYSTEM_VERSION", version, 1); }
  ~ScopedSystemVersion() { unsetenv("VANTOR_SYSTEM_VERSION"); }
};

TEST(ZRSUStandardVersionComparatorTest, TellsWhetherASystemVersionIsNewerThanTheRunningOne) {
  ScopedSystemVersion running("10.14.6");
  struct {
    std::optional<std::string> minimum;
    bool newer;
  } cases[] = {
      {"10.15", true}, {"10.14", false}, {"10.14.6", false},    {"10.14.7", true}, {"10", false},
      {"11", false},   {"", false},      {std::nullopt, false}, {"9.0", false},    {"11.0", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ZRSUStandardVersionComparator::isSystemVersionNewerThanOurSystemVersion(c.minimum), c.newer)
        << c.minimum.value_or("(null)");
}

TEST(ZRSUStandardVersionComparatorTest, EmulatedSystemDefaultsTo10_15_7) {
  unsetenv("VANTOR_SYSTEM_VERSION");
  EXPECT_FALSE(ZRSUStandardVersionComparator::isSystemVersionNewerThanOurSystemVersion("10.15.7"));
  EXPECT_TRUE(ZRSUStandardVersionComparator::isSystemVersionNewerThanOurSystemVersion("10.15.8"));
  ScopedSystemVersion garbage("ten");
  EXPECT_TRUE(ZRSUStandardVersionComparator::isSystemVersionNewerThanOurSystemVersion("10.16"));
}

TEST(ZRSUStandardVersionComparatorTest, SharedInstanceIsMadeOnce) {
  const ZRSUStandardVersionComparator* seen[8] = {};
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&slot] { slot = &ZRSUStandardVersionComparator::defaultComparator(); });
  for (auto& t : threads) t.join();
  for (auto* p : seen) EXPECT_EQ(p, seen[0]);
  EXPECT_NE(static_cast<const void*>(&ZRSUSpecialVersionComparator::defaultComparator()),
            static_cast<const void*>(seen[0]));
}

}  // namespace
}  // namespace vantor::sources
