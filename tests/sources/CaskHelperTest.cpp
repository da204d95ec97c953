// The line-based reading of cask texts: names, validity, the plain extractors and the
// built-in interpolation table. Nothing here needs Ruby.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "sources/CaskHelper.h"

namespace vantor {
namespace {

using Extractor = std::optional<std::string> (*)(std::string_view);

TEST(CaskHelperTest, CaskNamePicksRepositoryByFirstCharacterOnly) {
  unsetenv("VANTOR_CASK_HOST");
  unsetenv("VANTOR_MAKER_HOST");
  struct Case {
    const char* name;
    const char* url;
  } cases[] = {
      {"foo", "https://raw.githubusercontent.com/caskroom/homebrew-cask/master/Casks/foo.rb"},
      {"@foo", "https://raw.githubusercontent.com/caskroom/homebrew-versions/master/Casks/foo.rb"},
      {"=foo", "https://raw.githubusercontent.com/caskroom/homebrew-drivers/master/Casks/foo.rb"},
      {"$foo", "https://www.vantor.app/vantor/casks/foo.rb"},
      {"@@foo", "https://raw.githubusercontent.com/caskroom/homebrew-versions/master/Casks/@foo.rb"},
      {"f@o", "https://raw.githubusercontent.com/caskroom/homebrew-cask/master/Casks/f@o.rb"},
  };
  for (const Case& c : cases) EXPECT_EQ(CaskHelper::getCaskURLForCaskname(c.name), c.url) << c.name;
}

TEST(CaskHelperTest, CaskHostsFollowTheEnvironment) {
  setenv("VANTOR_CASK_HOST", "127.0.0.1:8443", 1);
  setenv("VANTOR_MAKER_HOST", "localhost:9443", 1);
  EXPECT_EQ(CaskHelper::getCaskURLForCaskname("foo"),
            "https://127.0.0.1:8443/caskroom/homebrew-cask/master/Casks/foo.rb");
  EXPECT_EQ(CaskHelper::getCaskURLForCaskname("$foo"), "https://localhost:9443/vantor/casks/foo.rb");
  unsetenv("VANTOR_CASK_HOST");
  unsetenv("VANTOR_MAKER_HOST");
}

TEST(CaskHelperTest, ValidityNeedsSixLinesWithCaskAndEnd) {
  struct Case {
    std::string text;
    bool valid;
  } cases[] = {
      {"cask 'a' do\n1\n2\n3\nend", false},      // five lines
      {"cask 'a' do\n1\n2\n3\n4\nend", true},    // six
      {"cask 'a' do\n1\n2\n3\n4\n", false},      // six lines, no "end"
      {"", false},
      {"<html>\n\n\n\n\n\n</html>", false},
      {"cask\r\n\r\n\r\nend", true},             // CR LF gives an empty line between
      {"cask\n\n\n\n\nend\xff", false},  // not UTF-8
  };
  for (const Case& c : cases) EXPECT_EQ(CaskHelper::isValidCaskfile(c.text), c.valid) << c.text;
  Bytes bytes{'c', 'a', 's', 'k', '\n', '\n', '\n', '\n', '\n', 'e', 'n', 'd'};
  EXPECT_TRUE(CaskHelper::isValidCaskfile(bytes));
}

struct ExtractCase {
  const char* label;
  Extractor extractor;
  std::string cask;
  std::optional<std::string> expected;
};

void PrintTo(const ExtractCase& c, std::ostream* os) { *os << c.label; }


class CaskExtractorTest : public testing::TestWithParam<ExtractCase> {};

TEST_P(CaskExtractorTest, ReadsTheFact) {
  const ExtractCase& c = GetParam();
  EXPECT_EQ(c.extractor(c.cask), c.expected) << c.cask;
}

const ExtractCase kExtractCases[] = {
    // Application name
    {"app", CaskHelper::getAppnameFromCaskfile, "  app 'Foo.app'\n", "Foo"},
    {"app_in_folder_with_target", CaskHelper::getAppnameFromCaskfile,
     "  app 'Sub/Dir/Foo.app', target: 'Bar.app'\n", "Foo"},
    {"two_apps_fall_back_to_name", CaskHelper::getAppnameFromCaskfile,
     "  name 'Other'\n  name 'Foo Bar'\n  app 'A.app'\n  app 'B.app'\n", "Foo Bar"},
    {"double_quoted_app_unseen", CaskHelper::getAppnameFromCaskfile, "  app \"Foo.app\"\n", std::nullopt},
    {"short_app_line_falls_back", CaskHelper::getAppnameFromCaskfile, "  app '.app'\n  name 'N'\n", "N"},
    {"app_without_app_suffix", CaskHelper::getAppnameFromCaskfile, "  app 'Foo Tool'\n", std::nullopt},
    {"name_too_short", CaskHelper::getAppnameFromCaskfile, "  name ''\n", std::nullopt},
    {"no_name", CaskHelper::getAppnameFromCaskfile, "cask 'x' do\nend\n", std::nullopt},
    // Digest
    {"sha256", CaskHelper::getSHA256FromCaskfile, "  sha256 'abc'\n", "abc"},
    {"last_sha256_wins", CaskHelper::getSHA256FromCaskfile, "  sha256 'abc'\n  sha256 'def'\n", "def"},
    {"no_check_in_comment", CaskHelper::getSHA256FromCaskfile, "  sha256 'abc'\n  # sha256 :no_check\n",
     ":no_check"},
    {"double_quoted_sha256_unseen", CaskHelper::getSHA256FromCaskfile, "  sha256 \"abc\"\n", std::nullopt},
    // Version
    {"latest", CaskHelper::getVersionFromCaskfile, "  version :latest\n", ":latest"},
    {"commas_kept", CaskHelper::getVersionFromCaskfile, "  version '1.2.3,456'\n", "1.2.3,456"},
    {"no_version", CaskHelper::getVersionFromCaskfile, "  url 'https://h/x.zip'\n", std::nullopt},
    {"unbalanced_quote_drops_last_character", CaskHelper::getVersionFromCaskfile, "  version '1.2\n", "1."},
    {"version_inside_comment_unseen", CaskHelper::getVersionFromCaskfile, "  # version '9'\n", std::nullopt},
    // Unprocessed download URL
    {"url_trailing_comma", CaskHelper::getUnprocessedDownloadURLFromCaskfile,
     "  url 'https://HOST/p-#{version}.zip',\n      referer: 'x'\n", "https://HOST/p-#{version}.zip"},
    {"url_double_quoted", CaskHelper::getUnprocessedDownloadURLFromCaskfile, "\turl \"https://h/x.zip\"\n",
     "https://h/x.zip"},
    {"no_url", CaskHelper::getUnprocessedDownloadURLFromCaskfile, "  version '1'\n", std::nullopt},
    {"urls_word_is_not_url", CaskHelper::getUnprocessedDownloadURLFromCaskfile, "  urls 'https://h/x.zip'\n",
     std::nullopt},
    // Homepage
    {"homepage", CaskHelper::getHomepageURLFromCaskfile, "  homepage 'https://h/'\n", "https://h/"},
    {"no_homepage", CaskHelper::getHomepageURLFromCaskfile, "  url 'https://h/'\n", std::nullopt},
    // Appcast
    {"appcast_trailing_comma", CaskHelper::getUnprocessedAppcastURLFromCaskfile,
     "  appcast 'https://h/a.xml',\n          checkpoint: 'x'\n", "https://h/a.xml"},
    {"appcast_double_quoted", CaskHelper::getUnprocessedAppcastURLFromCaskfile, "  appcast \"https://h/a.xml\"\n",
     "https://h/a.xml"},
    {"appcast_needs_a_quote", CaskHelper::getUnprocessedAppcastURLFromCaskfile, "  appcast :none\n", std::nullopt},
    {"appcast_filled_and_escaped", CaskHelper::getAppcastURLFromCaskfile,
     "  version '1.2,3'\n  appcast 'https://h/#{version.major}/a.json?q={\"k\":\\[1\\]}'\n",
     "https://h/1/a.json?q=%7B%22k%22:[1]%7D"},
    {"appcast_with_download_url", CaskHelper::getAppcastURLFromCaskfile,
     "  url 'https://d/x.zip'\n  appcast 'https://h/check?u=#{url}'\n", "https://h/check?u=https://d/x.zip"},
    {"appcast_needs_missing_version", CaskHelper::getAppcastURLFromCaskfile,
     "  appcast 'https://h/#{version}.xml'\n", std::nullopt},
    {"appcast_unknown_interpolation", CaskHelper::getAppcastURLFromCaskfile,
     "  version '1'\n  appcast 'https://h/#{token}.xml'\n", std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Table, CaskExtractorTest, testing::ValuesIn(kExtractCases),
                         [](const testing::TestParamInfo<ExtractCase>& info) { return std::string(info.param.label); });

TEST(CaskHelperTest, OSRequirementKnowsOnlyTheSymbolForm) {
  struct Case {
    const char* line;
    std::optional<int> expected;
  } cases[] = {
      {"depends_on macos: '>= :sierra'", 12},
      {"depends_on macos: '>= :tiger'", 4},
      {"depends_on macos: '>= :catalina'", 15},
      {"depends_on macos: '>= :big_sur'", std::nullopt},
      {"depends_on macos: '>= 10.12'", std::nullopt},
      {"depends_on macos: \">= :sierra\"", std::nullopt},
      {"depends_on macos: '<= :sierra'", std::nullopt},
      {"depends_on macos: [:sierra, :high_sierra]", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CaskHelper::getOSRequirementFromCaskfile(std::string("cask 'x' do\n  ") + c.line + "\nend\n"),
              c.expected)
        << c.line;
}

TEST(CaskHelperTest, InterpolationTableTakesPartsOfTheWholeVersion) {
  struct Case {
    const char* placeholder;
    const char* value;
  } cases[] = {
      {"#{version}", "1.2.3,45:67"},
      {"#{version.major}", "1"},
      {"#{version.minor}", "2"},
      {"#{version.patch}", "3,45:67"},
      {"#{version.major_minor}", "1.2"},
      {"#{version.major_minor_patch}", "1.2.3,45:67"},
      {"#{version.major_minor.no_dots}", "12"},
      {"#{version.before_comma}", "1.2.3"},
      {"#{version.after_comma}", "45:67"},
      {"#{version.after_comma.before_colon}", "45"},
      {"#{version.after_colon}", "67"},
      {"#{version.no_dots}", "123,45:67"},
      {"#{version.before_comma.no_dots}", "123"},
      {"#{version.before_comma.dots_to_underscores}", "1_2_3"},
      {"#{version.dots_to_hyphens}", "1-2-3,45:67"},
      {"#{version.dots_to_underscores}", "1_2_3,45:67"},
      {"#{version.after_comma.dots_to_slashes}", "45:67"},
      {"#{version.split('.').last}", "3,45:67"},
      {"#{version.after_comma.major}", "45:67"},
      {"#{token}", "#{token}"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CaskHelper::_replaceVersionInURL(std::string("https://h/") + c.placeholder + "/x",
                                               "1.2.3,45:67"),
              std::string("https://h/") + c.value + "/x")
        << c.placeholder;
}

TEST(CaskHelperTest, InterpolationOfMissingPartsIsEmpty) {
  EXPECT_EQ(CaskHelper::_replaceVersionInURL(
                "#{version.major_minor.no_dots}|#{version.major_minor}|#{version.major_minor_patch}|"
                "#{version.minor}|#{version.patch}|#{version.after_comma}|#{version.after_colon}",
                "7"),
            "7|7|7||||");
  EXPECT_EQ(CaskHelper::_replaceVersionInURL("#{version.after_comma.dots_to_slashes}", "1,2.3"), "2/3");
}

TEST(CaskHelperTest, DownloadURLWithoutInterpolationIsReturnedUnchecked) {
  std::optional<Error> error;
  EXPECT_EQ(CaskHelper::getDownloadURLFromCaskfile("  url 'file:///x.zip'\n", "b", &error), "file:///x.zip");
  EXPECT_FALSE(error);
}

TEST(CaskHelperTest, DownloadURLFromTheTableNeedsNoScript) {
  std::optional<Error> error;
  EXPECT_EQ(CaskHelper::getDownloadURLFromCaskfile(
                "cask 'p' do\n  version '1.2'\n  url 'https://HOST/p-#{version}.zip',\n      referer: 'x'\nend\n",
                "com.p", &error),
            "https://HOST/p-1.2.zip");
  EXPECT_FALSE(error);
}

}  // namespace
}  // namespace vantor
