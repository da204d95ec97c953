// Source selection: the feed's download first, the cask's after a failed feed attempt,
// and which attempt's error the caller sees.

#include <ostream>

#include "PipelineFixture.h"

namespace vantor::test {
namespace {

constexpr const char* kCaskPath = "/caskroom/homebrew-cask/master/Casks/foo.rb";

std::string cask(const std::string& downloadURL, const std::string& extra = "") {
  return "cask 'foo' do\n  version '2.0'\n  sha256 '" + std::string(64, 'a') + "'\n\n  url '" + downloadURL +
         "'\n  name 'Foo'\n  homepage 'https://example.com/foo/'\n" + extra + "\n  app 'Foo.app'\nend\n";
}

std::string feed(const std::string& downloadURL) {
  return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel><title>Foo</title>
    <item><title>2.0</title>
      <enclosure url=")" + downloadURL + R"(" sparkle:version="200" sparkle:shortVersionString="2.0"/></item>
  </channel>
</rss>
)";
}

std::string appZip(const std::string& identifier) {
  TempFolder stage;
  writeApp(stage.path(), "Foo.app", identifier);
  return archiveOf(stage.path(), "zip");
}

enum class Serve { Good, Missing, WrongApp, Package };

struct SourceCase {
  const char* name;
  bool feed;                      // the entry has a feed at /appcast.xml
  const char* feedPrefix;         // text before the feed URL ("NOFEED_" disables it)
  Serve feedDownload;             // what /feed/Foo.zip answers
  std::optional<std::string> caskDownload;  // the cask's download path; nothing: no cask name
  Serve caskServes;
  long code;
  int caskRequests;
  std::vector<long> events;
};

void PrintTo(const SourceCase& c, std::ostream* out) { *out << c.name; }

const SourceCase kSourceCases[] = {
    {"FeedInstalls", true, "", Serve::Good, "/cask/Foo.zip", Serve::Good, 0, 0, {}},
    {"FailedFeedFallsBackToCask", true, "", Serve::Missing, "/cask/Foo.zip", Serve::Good, 0, 1, {}},
    {"CaskWithTheSameURLKeepsTheFeedError", true, "", Serve::Missing, "/feed/Foo.zip", Serve::Missing, 14, 1, {}},
    {"NoCaskNameKeepsTheFeedError", true, "", Serve::WrongApp, std::nullopt, Serve::Good, 18, 0, {18}},
    {"CaskErrorWinsOverFeedError", true, "", Serve::Missing, "/cask/Foo.zip", Serve::WrongApp, 18, 1, {18}},
    {"InstallerFromFeedEndsTheRun", true, "", Serve::Package, "/cask/Foo.zip", Serve::Good, 17, 0, {}},
    {"NoFeedUsesTheCask", false, "", Serve::Missing, "/cask/Foo.zip", Serve::Good, 0, 1, {}},
    {"DisabledFeedUsesTheCask", true, "NOFEED_", Serve::Missing, "/cask/Foo.zip", Serve::Good, 0, 1, {}},
    {"NoFeedAndNoCaskName", false, "", Serve::Missing, std::nullopt, Serve::Good, 7, 0, {}},
};

class AppInstallHelperSourceTest : public PipelineTest, public ::testing::WithParamInterface<SourceCase> {
 protected:
  void serveDownload(const std::string& path, Serve what) {
    switch (what) {
      case Serve::Good: serve(path, appZip(kBundleID)); break;
      case Serve::Missing: server_->on(path, ScriptedResponse::text(404, "gone")); break;
      case Serve::WrongApp: serve(path, appZip("com.example.other")); break;
      case Serve::Package: serve("/feed/Foo.pkg", std::string("xar!") + std::string(100, '\0')); break;
    }
  }
};

TEST_P(AppInstallHelperSourceTest, ChoosesAndReports) {
  const SourceCase& c = GetParam();
  Json entry = Json::object();
  if (c.feed) {
    entry["fe"] = std::string(c.feedPrefix) + url("/appcast.xml");
    std::string feedPath = c.feedDownload == Serve::Package ? "/feed/Foo.pkg" : "/feed/Foo.zip";
    if (std::string(c.feedPrefix).empty()) server_->on("/appcast.xml", ScriptedResponse::text(200, feed(url(feedPath))));
    if (std::string(c.feedPrefix).empty()) serveDownload(feedPath, c.feedDownload);
  }
  if (c.caskDownload) {
    entry["cn"] = "foo";
    server_->on(kCaskPath, ScriptedResponse::text(200, cask(url(*c.caskDownload))));
    if (*c.caskDownload != "/feed/Foo.zip") serveDownload(*c.caskDownload, c.caskServes);
  }

  Outcome outcome = install(catalog(entry));

  EXPECT_EQ(outcome.code(), c.code) << (outcome.error ? outcome.error->description() : "");
  EXPECT_EQ(server_->requestCount(kCaskPath), c.caskRequests);
  EXPECT_EQ(eventCodes(), c.events);
  if (c.code == 0) {
    EXPECT_TRUE(std::filesystem::is_directory(target() + "/Foo.app"));
  }
  if (c.code != kErrorInstallOnlyInstaller) {
    EXPECT_TRUE(leftScratchFolders().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, AppInstallHelperSourceTest, ::testing::ValuesIn(kSourceCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PipelineTest, CaskRetryIsMarkedInItsEvents) {
  server_->on("/appcast.xml", ScriptedResponse::text(200, feed(url("/feed/Foo.zip"))));
  server_->on("/feed/Foo.zip", ScriptedResponse::text(404, ""));
  server_->on(kCaskPath, ScriptedResponse::text(200, cask(url("/cask/Foo.zip"))));
  serve("/cask/Foo.zip", appZip("com.example.other"));

  Outcome outcome = install(catalog({{"fe", url("/appcast.xml")}, {"cn", "foo"}}));

  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->userInfo["caskName"], "foo");
  EXPECT_EQ(outcome.error->userInfo["downloadURL"], url("/cask/Foo.zip"));
  ASSERT_EQ(events().size(), 1U);
  EXPECT_EQ(events()[0].info["@(weAreDoingCaskRetry)"], true);
}

TEST_F(PipelineTest, CaskRequiringANewerSystemEndsWith9) {
  system_.reset();
  system_ = std::make_unique<ScopedEnvironmentVariable>("VANTOR_SYSTEM_VERSION", "10.14.6");
  server_->on(kCaskPath,
              ScriptedResponse::text(200, cask(url("/cask/Foo.zip"), "  depends_on macos: '>= :catalina'\n")));
  Outcome outcome = install(catalog({{"cn", "foo"}}));
  EXPECT_EQ(outcome.code(), kErrorInstallCaskRequiresNewerOS);
  EXPECT_EQ(server_->requestCount("/cask/Foo.zip"), 0);
}

TEST_F(PipelineTest, CaskWithoutURLIsAFailureNotASuccess) {
  server_->on(kCaskPath, ScriptedResponse::text(200, "cask 'foo' do\n  version '2.0'\n  sha256 :no_check\n\n"
                                                     "  name 'Foo'\n  homepage 'https://example.com/'\n  app "
                                                     "'Foo.app'\nend\n"));
  Outcome outcome = install(catalog({{"cn", "foo"}}));
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->code, kErrorInstallCaskfileDownloadFailed);
  EXPECT_EQ(outcome.error->userInfo["caskfileURLString"], "https://localhost:" + std::to_string(server_->port()) + kCaskPath);
}

TEST_F(PipelineTest, CaskURLErrorsComeBackUnchanged) {
  // A URL that needs the version, in a cask without one: the cask reader's own code 10.
  server_->on(kCaskPath, ScriptedResponse::text(200, "cask 'foo' do\n  sha256 :no_check\n\n  url \"" +
                                                         url("/cask/Foo-#{version}.zip") +
                                                         "\"\n  name 'Foo'\n  app 'Foo.app'\nend\n"));
  Outcome outcome = install(catalog({{"cn", "foo"}}));
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->code, 10) << outcome.error->description();
  EXPECT_EQ(server_->requestCount("/cask/Foo-.zip"), 0);
}

TEST_F(PipelineTest, UnreachableCaskEndsWith8AfterItsRetries) {
  server_->on(kCaskPath, ScriptedResponse::text(404, "no"));
  Outcome outcome = install(catalog({{"cn", "foo"}}));
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->code, kErrorInstallCaskfileDownloadFailed);
  EXPECT_EQ(outcome.error->userInfo["bundleIdentifier"], kBundleID);
  EXPECT_EQ(server_->requestCount(kCaskPath), 4) << "one attempt and three retries";
}

}  // namespace
}  // namespace vantor::test
