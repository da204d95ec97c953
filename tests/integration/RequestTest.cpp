// Request resolution end to end: the real helper, its home in a temporary folder, the
// scripted front end, a catalog signed with the demo key and the fixture server standing
// in for the cask host, the feed host and the product server.
#include <filesystem>

#include <gtest/gtest.h>

#include "support/FixtureServerProcess.h"
#include "support/HelperSandbox.h"
#include "support/TestSupport.h"

namespace vantor {
namespace {

using nlohmann::json;
using test::FixtureServerProcess;
using test::HelperSandbox;

constexpr const char* kTitle = "App Installation requested";
constexpr int kInstall = 1000;
constexpr int kCancel = 1001;

std::string caskPath(const std::string& name) { return "/caskroom/homebrew-cask/master/Casks/" + name + ".rb"; }

std::string confirmation(const std::string& displayName, const std::string& folder, const std::string& file) {
  return "Are you sure you want to install the latest version of '" + displayName + "' into your '" + folder +
         "' folder?\n\n\nThis file will be installed:\n" + file;
}

class RequestTest : public ::testing::Test {
 protected:
  RequestTest() {
    std::filesystem::create_directories(root());
    put("/cgi-bin/receive_date/com.example.named.json",
        R"([{"Path1": "/Applications/Old Name.app"},
            {"Path1": "/Applications/Editor.app", "Path2": "/Users/x/Applications/Editor 2.app",
             "Path3": null, "Path4": "/Applications/Editor.app"}])");
    put("/cgi-bin/receive_date/com.example.nulls.json",
        R"([{"Path1": null, "Path2": null, "Path3": null, "Path4": null}])");
    put("/cgi-bin/receive_date/com.example.viewer.json",
        R"([{"Path1": "/Applications/Viewer.app", "Path2": "/Applications/Viewer.app", "Path3": null, "Path4": null}])");
    server_ = std::make_unique<FixtureServerProcess>(root());
    put(caskPath("editor"), "cask 'editor' do\n  version '2.1.0'\n  sha256 '0123abcd'\n\n  url '" + editorURL() +
                                "'\n  name 'Editor'\n  homepage 'https://example.com/editor/'\n\n  app 'Editor.app'\nend\n");
    put(caskPath("short"), "cask 'short' do\n  url '" + server_->httpsURL("/never.zip") + "'\n  app 'Short.app'\nend\n");
    put("/feeds/viewer.xml", feed());
  }

  std::string root() const { return sandbox_.path("root"); }
  void put(const std::string& path, const std::string& contents) const {
    std::filesystem::create_directories(std::filesystem::path(root() + path).parent_path());
    test::writeFile(root() + path, contents);
  }
  std::string editorURL() const { return server_->httpsURL("/downloads/Editor-2.1.0.zip"); }
  std::string viewerURL() const { return server_->httpsURL("/downloads/Viewer-3.0.zip"); }
  std::string feedURL() const { return server_->httpsURL("/feeds/viewer.xml"); }
  std::string feed() const {
    return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel><title>Viewer</title>
    <item><title>3.0</title><enclosure url=")" +
           viewerURL() + R"(" sparkle:version="300" sparkle:shortVersionString="3.0"/></item>
    <item><title>2.0</title><enclosure url="Viewer-2.0.zip" sparkle:version="200"/></item>
  </channel>
</rss>
)";
  }

  void catalog(const json& records) const { sandbox_.writeCatalog(json{{"bundleIDMapping", records}}.dump()); }

  platform::ProcessResult run(const std::string& link, test::Environment extra = {}) const {
    auto env = server_->hostEnvironment();
    env.insert(env.end(), extra.begin(), extra.end());
    return sandbox_.run({link}, env);
  }

  // The one confirmation of a cancelled request.
  json cancelledConfirmation(const std::string& link) {
    std::filesystem::remove(sandbox_.transcriptPath());
    sandbox_.answers({{{"button", kCancel}}});
    auto result = run(link);
    EXPECT_EQ(result.status, 0) << link << "\n" << result.output;
    EXPECT_FALSE(result.timedOut) << link;
    auto alerts = sandbox_.alerts();
    EXPECT_EQ(alerts.size(), 1u) << link << "\n" << result.output;
    return alerts.empty() ? json::object() : alerts.back();
  }

  static std::string postedIdentifier(const json& request) {
    std::string body = request.value("body", "");
    auto start = body.find("c=");
    return start == std::string::npos ? "" : body.substr(start + 2, body.find('&', start) - start - 2);
  }

  HelperSandbox sandbox_;
  std::unique_ptr<FixtureServerProcess> server_;
};

TEST_F(RequestTest, CaskWithADownloadURLNeverTouchesTheFeedOrTheNameQuery) {
  catalog({{"com.example.editor", {{"cn", "editor"}, {"fe", feedURL()}}}});
  sandbox_.writeDefaults({{"InstallationDirectory", sandbox_.path("Apps/")}});

  json shown = cancelledConfirmation("vantor://com.example.editor");
  EXPECT_EQ(shown["function"], "alert");
  EXPECT_EQ(shown["title"], kTitle);
  EXPECT_EQ(shown["message"], confirmation("Editor", sandbox_.path("Apps/"), editorURL()));
  EXPECT_EQ(shown["buttons"], json({"Install 'Editor'", "Cancel"}));
  EXPECT_EQ(server_->requests(caskPath("editor")).size(), 1u);
  EXPECT_TRUE(server_->requests("/feeds/viewer.xml").empty());
  EXPECT_TRUE(server_->requests("/cgi-bin/receive_date.cgi").empty());
}

TEST_F(RequestTest, ShortCaskFallsThroughToTheFeedWithTheRecordsUserAgentAndToTheNameQuery) {
  catalog({{"com.example.viewer", {{"cn", "short"}, {"fe", feedURL()}, {"fa", "FixtureAgent/2.0"}}}});

  json shown = cancelledConfirmation("vantor://com.example.viewer");
  EXPECT_EQ(shown["message"], confirmation("Viewer", "/Applications/", viewerURL()));
  EXPECT_EQ(shown["buttons"], json({"Install 'Viewer'", "Cancel"}));
  EXPECT_EQ(server_->requests(caskPath("short")).size(), 2u);  // one retry, then given up
  auto feedRequests = server_->requests("/feeds/viewer.xml");
  ASSERT_EQ(feedRequests.size(), 1u);
  EXPECT_EQ(feedRequests[0]["headers"]["user-agent"], "FixtureAgent/2.0");
  auto queries = server_->requests("/cgi-bin/receive_date.cgi");
  ASSERT_EQ(queries.size(), 1u);
  EXPECT_EQ(postedIdentifier(queries[0]), "com.example.viewer");
}

TEST_F(RequestTest, NameComesFromTheServersPathsOrFallsBackToTheBundleIdentifier) {
  catalog({{"com.example.named", json::object()}, {"com.example.nulls", json::object()}});
  struct Case {
    const char* link;
    const char* displayName;
  } cases[] = {
      {"vantor://com.example.named", "Editor"},         // most frequent of the last record, null dropped
      {"vantor://com.example.nulls", "com.example.nulls"},  // no path at all: no name
      {"vantor://com.example.unknown", ""},              // no answer: every path is the empty string
  };
  for (const auto& c : cases) {
    json shown = cancelledConfirmation(c.link);
    EXPECT_EQ(shown["message"], confirmation(c.displayName, "/Applications/", "(null)")) << c.link;
    EXPECT_EQ(shown["buttons"], json({std::string("Install '") + c.displayName + "'", "Cancel"})) << c.link;
  }
}

TEST_F(RequestTest, OddLinksAskAboutTheTextAfterEveryPrefix) {
  catalog({{"com.example.named", json::object()}});
  struct Case {
    const char* link;
    const char* askedAbout;  // the posted c, form-encoded
    const char* displayName;
  } cases[] = {
      {"vantor://vantor://com.example.named", "com.example.named", "Editor"},
      {"vantor://com.example.vantor://named", "com.example.named", "Editor"},
      {"vantor://", "", ""},
      {"vantor://my app", "my%20app", ""},
      {"vantor://caf\xC3\xA9%41", "caf%C3%A9%2541", ""},
  };
  for (const auto& c : cases) {
    size_t before = server_->requests("/cgi-bin/receive_date.cgi").size();
    json shown = cancelledConfirmation(c.link);
    EXPECT_EQ(shown["message"], confirmation(c.displayName, "/Applications/", "(null)")) << c.link;
    auto queries = server_->requests("/cgi-bin/receive_date.cgi");
    ASSERT_EQ(queries.size(), before + 1) << c.link;
    EXPECT_EQ(postedIdentifier(queries.back()), c.askedAbout) << c.link;
  }
}

TEST_F(RequestTest, LinkWithoutTheExactPrefixEndsWithStatusOne) {
  catalog({{"com.example.editor", {{"cn", "editor"}}}});
  for (const char* link : {"VANTOR://com.example.editor", "Vantor://com.example.editor", "vantor:/com.example.editor",
                           "https://com.example.editor"}) {
    std::filesystem::remove(sandbox_.transcriptPath());
    auto result = run(link);
    EXPECT_EQ(result.status, 1) << link;
    auto alerts = sandbox_.alerts();
    ASSERT_EQ(alerts.size(), 1u) << link;
    EXPECT_EQ(alerts[0]["title"], "Error");
    EXPECT_EQ(alerts[0]["message"], "fatal error please reinstall Vantor");
    EXPECT_EQ(alerts[0]["buttons"], json({"ok"}));
  }
  EXPECT_TRUE(server_->requests().empty());
}

TEST_F(RequestTest, YesAnswersEveryDialogOnTheTerminalWithItsFirstButton) {
  catalog({{"com.example.editor", {{"cn", "editor"}}}});
  auto result = sandbox_.run({"--yes", "Vantor://com.example.editor"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.output.find("== Error ==\nfatal error please reinstall Vantor\n-> ok (answered by --yes)"),
            std::string::npos)
      << result.output;
  EXPECT_TRUE(sandbox_.alerts().empty());  // the scripted front end was not asked
}

TEST_F(RequestTest, BrokenCaskHostsFallThroughToTheFeed) {
  put("/fixture-rules.json", json{{caskPath("failing"), {{"status", 500}}}}.dump());
  put(caskPath("html"), "<!DOCTYPE html>\n<html>\n<head><title>Not here</title></head>\n<body>\n"
                        "<p>This cask has moved; the end.</p>\n</body>\n</html>\n");
  json feedOnly = {{"fe", feedURL()}};
  catalog({{"com.example.failing", {{"cn", "failing"}, {"fe", feedURL()}}},
           {"com.example.missing", {{"cn", "missing"}, {"fe", feedURL()}}},
           {"com.example.html", {{"cn", "html"}, {"fe", feedURL()}}},
           {"com.example.number", {{"cn", 42}, {"fe", feedURL()}}}});
  for (const char* link : {"vantor://com.example.failing", "vantor://com.example.missing", "vantor://com.example.html",
                           "vantor://com.example.number"}) {
    json shown = cancelledConfirmation(link);
    EXPECT_EQ(shown["message"], confirmation("", "/Applications/", viewerURL())) << link;
  }
  EXPECT_EQ(server_->requests(caskPath("failing")).size(), 2u);
  EXPECT_EQ(server_->requests(caskPath("missing")).size(), 2u);
  EXPECT_TRUE(server_->requests(caskPath("42")).empty());
  EXPECT_EQ(server_->requests("/feeds/viewer.xml").size(), 4u);
}

TEST_F(RequestTest, FeedHostThatNeverAnswersGivesNoFile) {
  put("/fixture-rules.json", json{{"/feeds/viewer.xml", {{"silent", true}}}}.dump());
  catalog({{"com.example.viewer", {{"fe", feedURL()}}}});
  json shown = cancelledConfirmation("vantor://com.example.viewer");
  EXPECT_EQ(shown["message"], confirmation("Viewer", "/Applications/", "(null)"));
}

TEST_F(RequestTest, OfflineRefusalKeepsTheHelperRunningForTheNextLink) {
  catalog({{"com.example.editor", {{"cn", "editor"}}}});
  auto env = server_->hostEnvironment();
  env.emplace_back("VANTOR_ONLINE", "0");
  auto helper = sandbox_.start({"vantor://com.example.editor"}, env);
  ASSERT_TRUE(sandbox_.waitForAlerts(1));
  auto alerts = sandbox_.alerts();
  EXPECT_EQ(alerts[0]["title"], "Computer Offline");
  EXPECT_EQ(alerts[0]["message"],
            "Sorry, at the moment your Mac is not connected to the Internet, so you cannot install new apps.");
  EXPECT_EQ(alerts[0]["buttons"], json({"OK"}));
  EXPECT_TRUE(helper->isRunning());

  EXPECT_EQ(sandbox_.run({"vantor://tesselURLtest"}).status, 0);  // handed to the running helper
  ASSERT_TRUE(helper->waitFor(30));
  EXPECT_EQ(helper->exitStatus(), 0);
  EXPECT_TRUE(server_->requests().empty());
}

TEST_F(RequestTest, SecondRequestDuringAnInstallIsRefusedAndTheInstallGoesOn) {
  // The archive never arrives, so the install stays in progress.
  put("/fixture-rules.json", json{{"/downloads/Editor-2.1.0.zip", {{"silent", true}}}}.dump());
  catalog({{"com.example.editor", {{"cn", "editor"}}}, {"com.example.named", json::object()}});
  sandbox_.answers({{{"button", kInstall}}, {{"button", kInstall}}});
  auto helper = sandbox_.start({"vantor://com.example.editor"}, server_->hostEnvironment());
  ASSERT_TRUE(sandbox_.waitForAlerts(1));

  EXPECT_EQ(sandbox_.run({"vantor://com.example.named"}, server_->hostEnvironment()).status, 0);
  ASSERT_TRUE(sandbox_.waitForAlerts(2));
  auto alerts = sandbox_.alerts();
  EXPECT_EQ(alerts[0]["title"], kTitle);
  EXPECT_EQ(alerts[0]["result"], kInstall);
  EXPECT_EQ(alerts[1]["title"], "Installation In Progress");
  EXPECT_EQ(alerts[1]["message"],
            "Sorry, at the moment you can only install one at at a time. Please wait until this installation is "
            "finished before starting the next one.");
  EXPECT_EQ(alerts[1]["buttons"], json({"OK"}));
  EXPECT_TRUE(helper->isRunning());
  for (const auto& query : server_->requests("/cgi-bin/receive_date.cgi"))  // the second request went no further
    EXPECT_NE(postedIdentifier(query), "com.example.named");

  EXPECT_EQ(sandbox_.run({"vantor://tesselURLtest"}).status, 0);
  ASSERT_TRUE(helper->waitFor(30));
}

}  // namespace
}  // namespace vantor
