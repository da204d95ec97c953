// The download URL that CaskHelper reads out of a cask equals the url that Ruby itself
// gives when it evaluates the cask.

#include <gtest/gtest.h>

#include <string>

#include "CaskRubyReference.h"
#include "sources/CaskHelper.h"
#include "sources/CaskScript.h"

namespace vantor {
namespace {

struct AgreementCase {
  const char* label;
  const char* cask;
  const char* language;
};

void PrintTo(const AgreementCase& c, std::ostream* os) { *os << c.label; }


class CaskAgreementTest : public testing::TestWithParam<AgreementCase> {};

TEST_P(CaskAgreementTest, HelperURLEqualsRubyEvaluation) {
  const AgreementCase& c = GetParam();
  CaskScript::setPreferredLanguagesForTesting(std::vector<std::string>{c.language});
  auto expected = testing_support::rubyEvaluatedCaskURL(c.cask, c.language);
  ASSERT_TRUE(expected.has_value());
  std::optional<Error> error;
  EXPECT_EQ(CaskHelper::getDownloadURLFromCaskfile(c.cask, "com.example.app", &error), *expected);
  EXPECT_FALSE(error);
}

const AgreementCase kCases[] = {
    {"plain", R"(cask 'plain' do
  version '4.2.1'
  sha256 'abc'
  url "https://dl.example.com/plain-#{version}.dmg"
  app 'Plain.app'
end
)", "en"},
    {"table", R"(cask 'table' do
  version '1.2.3,45:67'
  url "https://dl.example.com/#{version.major_minor}/#{version.after_comma.before_colon}/t-#{version.before_comma.no_dots}-#{version.after_colon}.zip",
      referer: 'https://example.com/'
  app 'Table.app'
end
)", "en"},
    {"conversion", R"(cask 'conv' do
  version '2.10.0,1234'
  url "https://dl.example.com/#{version.csv.second}/Conv_#{version.before_comma.dots_to_underscores}_#{version.after_comma.major}.pkg"
  pkg 'Conv.pkg'
end
)", "en"},
    {"language", R"(cask 'lang' do
  version '7.0'
  language 'de' do
    'de'
  end
  language 'en', default: true do
    'en-US'
  end
  url "https://dl.example.com/#{language}/Lang-#{version.major}.dmg"
  app 'Lang.app'
end
)", "de"},
};

INSTANTIATE_TEST_SUITE_P(Casks, CaskAgreementTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<AgreementCase>& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace vantor
