// The cask paths that run the real Ruby interpreter: OS branches of version and url
// lines, the conversion and language scripts, their failures, and bad cask texts.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "foundation/FileHelpers.h"
#include "foundation/StringHelpers.h"
#include "sources/CaskHelper.h"
#include "sources/CGIInfoHelper.h"
#include "sources/CaskScript.h"

namespace vantor {
namespace {

struct Event {
  long code;
  Json info;
};

Json keysOf(const Json& object) {
  Json keys = Json::array();
  for (const auto& [key, value] : object.items()) keys.push_back(key);
  return keys;
}

class CaskRubyTest : public testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/cask-ruby-test.XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    tmp_ = folder;
    if (const char* old = std::getenv("TMPDIR")) oldTmp_ = old;
    setenv("TMPDIR", tmp_.c_str(), 1);
    setenv("VANTOR_SYSTEM_VERSION", "10.15.7", 1);
    CGIInfoHelper::setErrorEventObserverForTesting(
        [this](long code, const std::optional<Json>& info) { events_.push_back({code, info.value_or(Json())}); });
    CaskScript::setPreferredLanguagesForTesting(std::vector<std::string>{"en"});
  }

  void TearDown() override {
    // Every generated script went with its folder.
    auto left = directoryContents(tmp_);
    ASSERT_TRUE(left.has_value());
    EXPECT_TRUE(left->empty()) << (left->empty() ? "" : left->front());
    removeItem(tmp_);
    if (oldTmp_) setenv("TMPDIR", oldTmp_->c_str(), 1);
    else unsetenv("TMPDIR");
    unsetenv("VANTOR_SYSTEM_VERSION");
    CGIInfoHelper::setErrorEventObserverForTesting(nullptr);
    CaskScript::setResourceFolderForTesting(std::nullopt);
    CaskScript::setPreferredLanguagesForTesting(std::nullopt);
    CaskScript::setTimeLimitSecondsForTesting(CaskScript::kDefaultTimeLimitSeconds);
  }

  // A resource folder holding one convertCaskDownloadURL.rb with this body.
  void useConversionScript(const std::string& body) {
    std::string folder = tmp_ + "-resources";
    createDirectories(folder);
    ASSERT_TRUE(writeContentsAtomically(folder + "/convertCaskDownloadURL.rb", body));
    CaskScript::setResourceFolderForTesting(folder);
    resourceFolders_.push_back(folder);
  }

  std::optional<std::string> downloadURL(const std::string& cask, std::optional<Error>* error) {
    return CaskHelper::getDownloadURLFromCaskfile(cask, "com.example.app", error);
  }

  ~CaskRubyTest() override {
    for (const auto& folder : resourceFolders_) removeItem(folder);
  }

  std::string tmp_;
  std::optional<std::string> oldTmp_;
  std::vector<std::string> resourceFolders_;
  std::vector<Event> events_;
};

const char* kVersionBranches = R"(cask 'foo' do
  if MacOS.version <= :mojave
    version '1.0'
    sha256 'aaa'
  else
    version '2.0'
    sha256 'bbb'
  end

  url "https://h/foo-#{version}.zip"
  app 'Foo.app'
end
)";

const char* kThreeVersionBranches = R"(cask 'foo' do
  if MacOS.version <= :sierra
    version '1.0'
  elsif MacOS.version == :high_sierra
    version :latest
  else
    version "3.0"
  end
end
)";

TEST_F(CaskRubyTest, VersionBranchesFollowTheRunningSystem) {
  struct Case {
    const char* cask;
    const char* system;
    const char* version;
  } cases[] = {
      {kVersionBranches, "10.14", "1.0"},
      {kVersionBranches, "10.15.7", "2.0"},
      {kThreeVersionBranches, "10.12.6", "1.0"},
      {kThreeVersionBranches, "10.13", ":latest"},
      // The double-quoted line is no output statement: Ruby stops on it (event 204) and
      // the last version line is taken as written.
      {kThreeVersionBranches, "10.15", "3.0"},
  };
  for (const Case& c : cases) {
    setenv("VANTOR_SYSTEM_VERSION", c.system, 1);
    EXPECT_EQ(CaskHelper::getVersionFromCaskfile(c.cask), c.version) << c.system;
  }
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].code, 204);
  events_.clear();
  setenv("VANTOR_SYSTEM_VERSION", "10.14", 1);
  std::optional<Error> error;
  EXPECT_EQ(downloadURL(kVersionBranches, &error), "https://h/foo-1.0.zip");
  EXPECT_TRUE(events_.empty());
}

const char* kURLBranches = R"(cask 'foo' do
  version '3.1'
  if MacOS.version <= :high_sierra
    url "https://h/legacy/foo-#{version}.dmg"
  else
    url "https://h/foo-#{version.major}.dmg",
        referer: "https://h/"
  end
end
)";

TEST_F(CaskRubyTest, URLBranchesFollowTheRunningSystem) {
  std::optional<Error> error;
  setenv("VANTOR_SYSTEM_VERSION", "10.13.6", 1);
  EXPECT_EQ(CaskHelper::_getRubyURLFromCaskfile(kURLBranches), "url 'https://h/legacy/foo-#{version}.dmg'");
  EXPECT_EQ(downloadURL(kURLBranches, &error), "https://h/legacy/foo-3.1.dmg");
  setenv("VANTOR_SYSTEM_VERSION", "10.15", 1);
  EXPECT_EQ(downloadURL(kURLBranches, &error), "https://h/foo-3.dmg");
  EXPECT_FALSE(error);
}

TEST_F(CaskRubyTest, URLsInLanguageBlocksTakeTheDefaultBlock) {
  const char* cask = R"(cask 'foo' do
  version '5'
  language 'de' do
    url "https://h/de/foo-#{version}.dmg"
    'de'
  end
  language 'en', default: true do
    url "https://h/en/foo-#{version}.dmg"
    'en-US'
  end
end
)";
  std::optional<Error> error;
  EXPECT_EQ(downloadURL(cask, &error), "https://h/en/foo-5.dmg");
}

const char* kLanguageCask = R"(cask 'foo' do
  version '1.2,88'
  language 'de', 'de-AT' do
    sha256 'aaa'
    'de'
  end
  language 'en', default: true do
    sha256 'bbb'
    'en-US'
  end
  url "https://h/#{version.after_comma}/#{language}/Foo.dmg"
end
)";

TEST_F(CaskRubyTest, LanguageInterpolationFollowsThePreferredLanguages) {
  struct Case {
    std::vector<std::string> preferred;
    const char* url;
  } cases[] = {
      {{"de"}, "https://h/88/de/Foo.dmg"},
      {{"fr", "de"}, "https://h/88/de/Foo.dmg"},
      {{"fr"}, "https://h/88/en-US/Foo.dmg"},
      {{}, "https://h/88/en-US/Foo.dmg"},
  };
  for (const Case& c : cases) {
    CaskScript::setPreferredLanguagesForTesting(c.preferred);
    std::optional<Error> error;
    EXPECT_EQ(downloadURL(kLanguageCask, &error), c.url);
    EXPECT_FALSE(error);
  }
  EXPECT_TRUE(events_.empty());
}

TEST_F(CaskRubyTest, LanguageWithoutBlocksFallsBackWithEvent) {
  EXPECT_EQ(CaskHelper::getPreferredLanguageFromCaskfile("cask 'x' do\nend\n"), "en-US");
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].code, 204);
  EXPECT_EQ(keysOf(events_[0].info), Json({"@(status)", "caskfileContents", "output"}));
  EXPECT_EQ(events_[0].info["@(status)"], 2);
}

TEST_F(CaskRubyTest, ConversionEvaluatesWhatTheTableDoesNotKnow) {
  struct Case {
    const char* url;
    const char* expected;
  } cases[] = {
      {"https://h/#{version.after_comma.major}.zip", "https://h/45:67.zip"},
      {"https://h/#{version.before_comma.sub(/\\.\\d+$/, '')}/#{version.csv.second}.zip", "https://h/1.2/45:67.zip"},
      {"https://h/#{version.split(',').first.gsub('.', '')}-#{version.major_minor}.zip", "https://h/123-1.2.zip"},
      {"https://h/#{version.before_comma.chomp('.3')}/#{version.after_colon.delete('7')}.zip", "https://h/1.2/6.zip"},
  };
  for (const Case& c : cases) {
    std::string cask = std::string("cask 'x' do\n  version '1.2.3,45:67'\n  url \"") + c.url + "\"\nend\n";
    std::optional<Error> error;
    EXPECT_EQ(downloadURL(cask, &error), c.expected) << c.url;
    EXPECT_FALSE(error);
  }
}

TEST_F(CaskRubyTest, ConversionThatFailsGivesStatusError) {
  std::optional<Error> error;
  const std::string cask = "cask 'x' do\n  version '1'\n  url \"https://h/#{token}.zip\"\nend\n";
  EXPECT_EQ(downloadURL(cask, &error), std::nullopt);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, kCocoaErrorDomain);
  EXPECT_EQ(error->code, kErrorInstallConvertURLScriptFailedStatus);
  EXPECT_EQ(keysOf(error->userInfo), Json({"@(status)", "bundleIdentifier", "output"}));
  EXPECT_EQ(error->userInfo["@(status)"], 2);
  EXPECT_TRUE(contains(error->userInfo["output"].get<std::string>(), "unknown name token"));
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].code, 12);
  EXPECT_EQ(keysOf(events_[0].info), Json({"@(status)", "bundleIdentifier", "caskfileContents", "output"}));
  EXPECT_EQ(events_[0].info["caskfileContents"], cask);
}

TEST_F(CaskRubyTest, ConversionRunFailuresGiveTheirErrors) {
  const std::string cask = "cask 'x' do\n  version '1'\n  url \"https://h/#{version.reverse}.zip\"\nend\n";
  struct Case {
    const char* label;
    std::optional<std::string> script;  // nothing: no such resource
    double timeLimit;
    long code;
    long event;
    Json errorKeys;
  } cases[] = {
      {"empty output", "exit 0\n", 20, kErrorInstallConvertURLScriptFailedEmpty, 12,
       Json({"bundleIdentifier"})},
      {"hangs", "sleep 600\n", 0.5, kErrorInstallConvertURLScriptFailedEmpty, 12, Json({"bundleIdentifier"})},
      {"not http", "puts 'file:///x'\n", 20, kErrorInstallConvertURLScriptFailedStatus, 12,
       Json({"bundleIdentifier", "downloadURL"})},
      {"blank output", "puts\n", 20, kErrorInstallConvertURLScriptFailedStatus, 12,
       Json({"bundleIdentifier", "downloadURL"})},
      {"missing resource", std::nullopt, 20, kErrorInstallConvertURLScriptFailedException, 11,
       Json({"bundleIdentifier", "exceptionInfo"})},
  };
  for (const Case& c : cases) {
    events_.clear();
    useConversionScript(c.script.value_or("puts 'unused'\n"));
    if (!c.script) removeItem(resourceFolders_.back() + "/convertCaskDownloadURL.rb");
    CaskScript::setTimeLimitSecondsForTesting(c.timeLimit);
    std::optional<Error> error;
    EXPECT_EQ(downloadURL(cask, &error), std::nullopt) << c.label;
    ASSERT_TRUE(error) << c.label;
    EXPECT_EQ(error->code, c.code) << c.label;
    EXPECT_EQ(keysOf(error->userInfo), c.errorKeys) << c.label;
    ASSERT_EQ(events_.size(), 1u) << c.label;
    EXPECT_EQ(events_[0].code, c.event) << c.label;
  }
}

TEST_F(CaskRubyTest, FinalURLMustBeHTTPOrFTP) {
  struct Case {
    const char* cask;
    const char* finalURL;
  } cases[] = {
      {"  version '1'\n  url 'file:///x/#{version}'\n", "file:///x/1"},
      {"  version ''\n  url '#{version}'\n", ""},
  };
  for (const Case& c : cases) {
    events_.clear();
    std::optional<Error> error;
    EXPECT_EQ(downloadURL(c.cask, &error), std::nullopt);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, kErrorInstallConvertURLScriptFailedStatus);
    EXPECT_EQ(error->userInfo["downloadURL"], c.finalURL);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].code, 12);
    EXPECT_EQ(keysOf(events_[0].info), Json({"bundleIdentifier", "caskfileContents", "downloadURL"}));
  }
  std::optional<Error> error;
  EXPECT_EQ(downloadURL("  version '1'\n  url 'ftp://h/#{version}'\n", &error), "ftp://h/1");
}

TEST_F(CaskRubyTest, URLNeedingAVersionWithoutOneIsError10) {
  std::optional<Error> error;
  const std::string cask = "cask 'x' do\n  url \"https://h/#{version}.zip\"\nend\n";
  EXPECT_EQ(downloadURL(cask, &error), std::nullopt);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, kErrorInstallCaskfileContainsNoVersions);
  EXPECT_EQ(error->userInfo, Json({{"bundleIdentifier", "com.example.app"}}));
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].code, 10);
  EXPECT_EQ(events_[0].info, Json({{"bundleIdentifier", "com.example.app"}, {"caskfileContents", cask}}));
}

// Cask text never runs as code: lines that are not plain branches are refused before
// Ruby sees them, and the reading falls back to the last version line.
TEST_F(CaskRubyTest, VersionLinesThatAreCodeAreNotRun) {
  std::string marker = tmp_ + "-marker";
  const std::string lines[] = {
      "    version '1.0'; File.write('" + marker + "', 'ran')",
      "    version '1.0' while true",
      "    version \"#{File.write('" + marker + "', 'ran')}\"",
      "    version '1.0' if system('touch " + marker + "')",
      "    version '1.0",
  };
  for (const std::string& line : lines) {
    std::string cask = "cask 'x' do\n  if MacOS.version <= :mojave\n" + line + "\n  else\n    version '2.0'\n  end\nend\n";
    EXPECT_EQ(CaskHelper::getVersionFromCaskfile(cask), "2.0") << line;
    EXPECT_FALSE(fileExists(marker)) << line;
  }
  const std::string conditions[] = {
      "  if MacOS.version <= :mojave && File.write('" + marker + "', 'ran')",
      "  if MacOS.version <= :mojave || Process.kill(9, Process.ppid)",
      "  if MacOS.version > `touch " + marker + "`.to_i",
  };
  for (const std::string& condition : conditions) {
    std::string cask = "cask 'x' do\n" + condition + "\n    version '1.0'\n  else\n    version '2.0'\n  end\nend\n";
    EXPECT_EQ(CaskHelper::getVersionFromCaskfile(cask), "2.0") << condition;
    std::string urlCask = "cask 'x' do\n" + condition + "\n    url 'https://h/a'\n  else\n    url 'https://h/b'\n  end\nend\n";
    EXPECT_EQ(CaskHelper::getUnprocessedDownloadURLFromCaskfile(urlCask), std::nullopt) << condition;
    EXPECT_FALSE(fileExists(marker)) << condition;
  }
}

TEST_F(CaskRubyTest, VersionScriptErrorRaisesEventAndFallsBack) {
  const char* cask = R"(cask 'foo' do
  if MacOS.version <= :big_sur
    version '1.0'
  else
    version '2.0'
  end
end
)";
  EXPECT_EQ(CaskHelper::getVersionFromCaskfile(cask), "2.0");
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].code, 204);
  EXPECT_EQ(events_[0].info["wearesosorry"], "we are lying with the error code");
  EXPECT_EQ(events_[0].info["writeError.description"], "(null)");
  EXPECT_TRUE(containsIgnoringCase(events_[0].info["output"].get<std::string>(), "error"));
}

TEST_F(CaskRubyTest, HomepageIsConvertedByScript) {
  CaskScript::setPreferredLanguagesForTesting(std::vector<std::string>{"de"});
  EXPECT_EQ(CaskHelper::getHomepageURLFromCaskfile(std::string(kLanguageCask) +
                                                   "  homepage 'https://h/#{language}/v#{version.major}'\n"),
            "https://h/de/v1");
  EXPECT_EQ(CaskHelper::getHomepageURLFromCaskfile("  homepage 'https://h/#{version}'\n"), std::nullopt);
  EXPECT_EQ(CaskHelper::getHomepageURLFromCaskfile("  version '1'\n  homepage 'https://h/#{nope}'\n"), std::nullopt);
  EXPECT_TRUE(events_.empty());
}

TEST_F(CaskRubyTest, BadTextsGiveNothingOrTheirError) {
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary.push_back(static_cast<char>((i * 7919) % 256));
  binary += "\n  version '1\xff'\n  version '2'\n  url '\xfe#{version}'\n";

  std::string big = "cask 'big' do\n  version '9.1'\n";
  while (big.size() < 10 * 1024 * 1024) big += "  # padding padding padding padding padding padding padding\n";
  big += "  url \"https://h/big-#{version}.zip\"\nend\n";

  std::string crlf = "cask 'x' do\r\n  version '1.5'\r\n  url \"https://h/x-#{version}.zip\"\r\n  app 'X.app'\r\nend\r\n";
  std::string twoBranchesCRLF = replaced(kVersionBranches, "\n", "\r\n");

  struct Case {
    const char* label;
    std::string cask;
    std::optional<std::string> url;
    std::optional<long> code;
  } cases[] = {
      {"empty", "", std::nullopt, std::nullopt},
      {"binary", binary, std::nullopt, kErrorInstallConvertURLScriptFailedStatus},
      {"10 MB", big, "https://h/big-9.1.zip", std::nullopt},
      {"CR LF", crlf, "https://h/x-1.5.zip", std::nullopt},
      {"CR LF branches", twoBranchesCRLF, "https://h/foo-2.0.zip", std::nullopt},
      {"url and no version", "  url \"https://h/#{version}\"\n", std::nullopt, kErrorInstallCaskfileContainsNoVersions},
      {"unbalanced quotes", "  version '2'\n  url \"https://h/#{version}.zip\n", "https://h/2.zi", std::nullopt},
  };
  for (const Case& c : cases) {
    std::optional<Error> error;
    EXPECT_EQ(downloadURL(c.cask, &error), c.url) << c.label;
    EXPECT_EQ(error ? std::optional(error->code) : std::nullopt, c.code) << c.label;
  }
  EXPECT_EQ(CaskHelper::getAppnameFromCaskfile(crlf), "X");
  EXPECT_EQ(CaskHelper::getVersionFromCaskfile(binary), "2");
  EXPECT_EQ(CaskHelper::getAppnameFromCaskfile(binary), std::nullopt);
  EXPECT_EQ(CaskHelper::getSHA256FromCaskfile(big), std::nullopt);
}

}  // namespace
}  // namespace vantor
