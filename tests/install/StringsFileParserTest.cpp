#include "install/StringsFileParser.h"

#include <gtest/gtest.h>

#include "support/AppBundleWriter.h"

namespace vantor {
namespace {

using testing::AppBundleWriter;

TEST(StringsFileParserTest, ReadsTheOldStyleTextForm) {
  struct Case {
    const char* name;
    std::string text;
    Json expected;
  } cases[] = {
      {"quoted pairs and comments",
       "/* Localised */\n\"CFBundleName\" = \"Sample\"; // trailing\n\"NSHumanReadableCopyright\" = \"(c) 2024\";\n",
       {{"CFBundleName", "Sample"}, {"NSHumanReadableCopyright", "(c) 2024"}}},
      {"bare words, single quotes, key alone", "CFBundleName = Sample_1.0;\n'a b' = 'c\"d';\n\"solo\";",
       {{"CFBundleName", "Sample_1.0"}, {"a b", "c\"d"}, {"solo", "solo"}}},
      {"escapes", R"("k" = "tab\there\nquote\" back\\ \U00e9\U00E8 \UD83D\UDE00 oct\101\351";)",
       {{"k", "tab\there\nquote\" back\\ \xC3\xA9\xC3\xA8 \xF0\x9F\x98\x80 octA\xC3\xA9"}}},
      {"enclosing braces, later key wins", "{ \"a\" = \"1\"; \"a\" = \"2\"; }", {{"a", "2"}}},
      {"empty file", "", Json::object()},
      {"comments only", "// nothing\n/* here */", Json::object()},
      {"UTF-8 with byte-order mark", "\xEF\xBB\xBF\"k\" = \"\xC3\xA9\";", {{"k", "\xC3\xA9"}}},
      {"UTF-16 little-endian with mark", AppBundleWriter::utf16("\"k\" = \"\xC3\xA9t\xC3\xA9\";", false, true),
       {{"k", "\xC3\xA9t\xC3\xA9"}}},
      {"UTF-16 big-endian without mark", AppBundleWriter::utf16("\"k\" = \"v\";", true, false), {{"k", "v"}}},
      {"UTF-16 little-endian without mark", AppBundleWriter::utf16("\"k\" = \"v\";", false, false), {{"k", "v"}}},
      {"Latin 1 when not UTF-8", "\"k\" = \"caf\xE9\";", {{"k", "caf\xC3\xA9"}}},
  };
  for (const auto& c : cases) {
    auto parsed = StringsFileParser::parse(c.text);
    ASSERT_TRUE(parsed) << c.name;
    EXPECT_EQ(*parsed, c.expected) << c.name;
  }
}

TEST(StringsFileParserTest, SyntaxErrorsGiveNothingRatherThanAPartialDictionary) {
  for (const char* text : {"\"a\" = \"1\";\n\"b\" = \"unterminated;\n", "\"a\" = \"1\"", "\"a\" \"1\";",
                           "\"a\" = \"1\"; /* open comment", "\"a\" = ;", "{ \"a\" = \"1\";", "\"a\" = \"1\"; }",
                           "\"a\" = \"trailing backslash\\", "= \"1\";", "<?xml version=\"1.0\"?><plist/>"}) {
    EXPECT_FALSE(StringsFileParser::parse(text)) << text;
  }
}

}  // namespace
}  // namespace vantor
