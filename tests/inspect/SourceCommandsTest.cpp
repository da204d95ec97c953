#include <gtest/gtest.h>

#include <cstdlib>

#include "foundation/Json.h"
#include "platform/ChildProcess.h"
#include "signer/CatalogSigner.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

namespace vantor {
namespace {

struct Outcome {
  int status;
  std::string output;  // standard output only
  Json json() const { return Json::parse(output, nullptr, false); }
};

Outcome inspect(const std::vector<std::string>& arguments,
                std::vector<std::pair<std::string, std::string>> environment = {}) {
  std::vector<std::string> argv{test::binaryPath("vantor-inspect")};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  platform::RunOptions options;
  options.mergeStderr = false;
  options.timeoutSeconds = 60;
  options.environment = std::move(environment);
  auto result = platform::runProcess(argv, options);
  EXPECT_TRUE(result.launched) << result.launchError;
  return {result.status, result.output};
}

std::string signedCatalogFile(const test::TempFolder& folder, const std::string& name, const std::string& text) {
  auto key = signer::defaultPrivateKeyPath();
  auto file = signer::signCatalogWithKeyFile(text, key);
  EXPECT_TRUE(file.has_value());
  std::string path = folder / name;
  test::writeFile(path, file ? std::string(file->begin(), file->end()) : std::string());
  return path;
}

TEST(SourceCommandsTest, CatalogDecodesAndShowsRecordsAsTheRunningSystemSelectsThem) {
  test::TempFolder folder;
  const std::string catalog = signedCatalogFile(folder, "config.json.encr", R"({"bundleIDMapping":{
      "com.example.editor":{"cn":"editor","fe":"https://example.test/old.xml","fd":15,
                            "fe14":"https://example.test/mojave.xml","or":"com.example.other","pr":["2.0"]},
      "com.example.viewer":{"cn":7}}})");

  auto all = inspect({"catalog", catalog, "--json"});
  EXPECT_EQ(all.status, 0);
  EXPECT_EQ(all.json()["recordCount"], 2);
  EXPECT_EQ(all.json()["errorCode"], nullptr);

  // On 10.14 the record's feed is the one for that system; the override has no
  // dependency key, so it stays.
  auto editor = inspect({"catalog", catalog, "com.example.editor", "--json"}, {{"VANTOR_SYSTEM_VERSION", "10.14.6"}});
  EXPECT_EQ(editor.status, 0);
  Json properties = editor.json()["properties"];
  EXPECT_EQ(properties["feedURL"], "https://example.test/mojave.xml");
  EXPECT_EQ(properties["isOverridenToBundleID"], "com.example.other");
  EXPECT_EQ(properties["ignoredUpdates"], Json::array());
  EXPECT_EQ(properties["paidReleases"], Json::array({"2.0"}));
  EXPECT_EQ(properties["codeSignature"], nullptr);
  EXPECT_EQ(properties["hasValidFeedURL"], true);
  EXPECT_EQ(properties.size(), 68u);  // every property of the record, none forgotten

  auto newer = inspect({"catalog", catalog, "com.example.editor"}, {{"VANTOR_SYSTEM_VERSION", "10.15.7"}});
  EXPECT_NE(newer.output.find("  feedURL: https://example.test/old.xml\n"), std::string::npos) << newer.output;

  // A value of another type is shown as stored.
  auto viewer = inspect({"catalog", catalog, "com.example.viewer", "--json"});
  EXPECT_EQ(viewer.json()["properties"]["caskName"], 7);

  auto unknown = inspect({"catalog", catalog, "COM.EXAMPLE.EDITOR", "--json"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.json()["found"], false);
}

TEST(SourceCommandsTest, CatalogRefusalsCarryTheDecoderErrorOrSayWhatIsMissing) {
  test::TempFolder folder;
  std::string tampered = test::readFile(signedCatalogFile(folder, "good", R"({"bundleIDMapping":{}})"));
  tampered[530] ^= 0x01;  // a payload byte
  test::writeFile(folder / "tampered", tampered);
  test::writeFile(folder / "short", std::string(539, 'x'));
  signedCatalogFile(folder, "array", "[1,2]");

  struct Case {
    std::string file;
    int status;
    Json errorCode;
    Json userInfo;
  } cases[] = {
      {"tampered", 1, 9, Json::object()},
      {"short", 1, 2, {{"@(data.length)", 539}}},
      {"array", 1, nullptr, nullptr},  // verifies, but is no catalog
  };
  for (const auto& c : cases) {
    auto outcome = inspect({"catalog", folder / c.file, "--json"});
    EXPECT_EQ(outcome.status, c.status) << c.file;
    EXPECT_EQ(outcome.json()["errorCode"], c.errorCode) << c.file;
    EXPECT_EQ(outcome.json()["userInfo"], c.userInfo) << c.file;
  }
  EXPECT_EQ(inspect({"catalog", folder / "missing"}).status, 2);
  EXPECT_EQ(inspect({"catalog"}).status, 2);
  EXPECT_EQ(inspect({"catalog", folder / "good", "a", "b"}).status, 2);
}

const char* kEditorCask = R"(cask 'editor' do
  version '2.1.0'
  sha256 '0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef'

  url "https://downloads.example.test/Editor-#{version}.zip"
  appcast 'https://example.test/editor/appcast.xml'
  name 'Editor'
  homepage 'https://example.test/editor/'

  depends_on macos: '>= :sierra'

  app 'Editor.app'
end
)";

TEST(SourceCommandsTest, CaskFromFileOrURLShowsEveryFactWithTheGivenNames) {
  test::TempFolder folder;
  test::writeFile(folder / "editor.rb", kEditorCask);
  auto server = test::LoopbackServer::startHTTP();
  server->on("/editor.rb", test::ScriptedResponse::text(200, kEditorCask));
  server->on("/broken.rb", test::ScriptedResponse::text(500, "Internal error"));

  const Json expected = {{"version", "2.1.0"},
                         {"unprocessedDownloadURL", "https://downloads.example.test/Editor-#{version}.zip"},
                         {"downloadURL", "https://downloads.example.test/Editor-2.1.0.zip"},
                         {"errorCode", nullptr},
                         {"appName", "Editor"},
                         {"sha256", "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"},
                         {"osRequirement", 12},
                         {"homepageURL", "https://example.test/editor/"},
                         {"appcastURL", "https://example.test/editor/appcast.xml"}};
  for (const std::string& input : {folder / "editor.rb", server->url("/editor.rb")}) {
    auto outcome = inspect({"cask", input, "--bid", "com.example.editor", "--json"});
    EXPECT_EQ(outcome.status, 0) << input;
    EXPECT_EQ(outcome.json(), expected) << input;
  }
  auto text = inspect({"cask", folder / "editor.rb"});
  EXPECT_NE(text.output.find("OS requirement: macOS 10.12 or later\n"), std::string::npos) << text.output;

  // A URL that needs a version the cask does not have: the error code, and a refusal.
  std::string noVersion = kEditorCask;
  noVersion.erase(noVersion.find("  version '2.1.0'\n"), 18);
  test::writeFile(folder / "noversion.rb", noVersion);
  auto refused = inspect({"cask", folder / "noversion.rb", "--json"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.json()["errorCode"], 10);
  EXPECT_EQ(refused.json()["downloadURL"], nullptr);
  EXPECT_EQ(refused.json()["version"], nullptr);

  test::writeFile(folder / "short.rb", "cask 'x' do\nend\n");
  EXPECT_EQ(inspect({"cask", folder / "short.rb"}).status, 1);
  EXPECT_EQ(inspect({"cask", server->url("/broken.rb")}).status, 1);
  EXPECT_EQ(inspect({"cask", folder / "editor.rb", "--bid"}).status, 2);
}

std::string feed(const std::string& items) {
  return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel><title>Editor</title>)" +
         items + "</channel></rss>\n";
}

std::string item(const std::string& version, const std::string& url, const std::string& extra = "") {
  return "<item><title>" + version + "</title><enclosure url=\"" + url + "\" sparkle:version=\"" + version + "\" " +
         extra + "/></item>";
}

TEST(SourceCommandsTest, FeedStatusNamesTheFailureKindOrListsTheItems) {
  test::TempFolder folder;
  struct Case {
    const char* name;
    std::string text;
    std::string status;
    int exitStatus;
  } cases[] = {
      {"ok", feed(item("1.9", "Editor-1.9.zip") + item("1.10", "Editor-1.10.zip", "sparkle:minimumSystemVersion=\"10.16\"") +
                  item("2.0", "https://example.test/Editor-2.0.exe", "sparkle:os=\"windows\"")),
       "ok", 0},
      {"noitems", feed(item("2.0", "https://example.test/E.exe", "sparkle:os=\"windows\"")), "noitems", 1},
      {"anycompatible", feed(item("2.0", "https://example.test/E.zip", "sparkle:minimumSystemVersion=\"10.16\"")),
       "anycompatible", 1},
      {"noversionsnumber", feed("<item><title>x</title><enclosure url=\"https://example.test/E.zip\"/></item>"),
       "noversionsnumber", 1},
      {"unparsable", "<!-- <rss </rss> -->", "unparsable", 1},  // no root element
      {"invalid", "<html><body>Not found</body></html>", "invalid", 1},
  };
  for (const auto& c : cases) {
    test::writeFile(folder / c.name, c.text);
    auto outcome = inspect({"feed", folder / c.name, "--feed-url", "https://example.test/updates/appcast.xml", "--json"},
                           {{"VANTOR_SYSTEM_VERSION", "10.15.7"}});
    EXPECT_EQ(outcome.status, c.exitStatus) << c.name;
    EXPECT_EQ(outcome.json()["status"], c.status) << c.name << outcome.output;
  }

  // The windows build is dropped; the newest item needs a newer system, so the one for
  // this system is older, and its bare file name is taken relative to the feed URL.
  auto ok = inspect({"feed", folder / "ok", "--feed-url", "https://example.test/updates/appcast.xml", "--json"},
                    {{"VANTOR_SYSTEM_VERSION", "10.15.7"}});
  Json report = ok.json();
  ASSERT_EQ(report["items"].size(), 2u);
  EXPECT_EQ(report["newestItemForAnyOS"]["versionToCompare"], "1.10");
  EXPECT_EQ(report["newestItemForAnyOS"]["minimumSystemVersion"], "10.16");
  EXPECT_EQ(report["newestItemForCurrentOS"],
            Json({{"versionToCompare", "1.9"}, {"shortVersionString", nullptr}, {"bundleVersion", "1.9"},
                  {"minimumSystemVersion", nullptr}, {"downloadURL", "https://example.test/updates/Editor-1.9.zip"}}));

  // From a URL, the URL is the feed URL.
  auto server = test::LoopbackServer::startHTTP();
  server->on("/updates/appcast.xml", test::ScriptedResponse::text(200, cases[0].text));
  auto fetched = inspect({"feed", server->url("/updates/appcast.xml"), "--json"});
  EXPECT_EQ(fetched.status, 0);
  EXPECT_EQ(fetched.json()["newestItemForCurrentOS"]["downloadURL"], server->url("/updates/Editor-1.9.zip"));
  auto requests = server->requests("/updates/appcast.xml");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].header("User-Agent"), "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_14_0)");

  EXPECT_EQ(inspect({"feed", server->url("/missing.xml")}).status, 1);
  EXPECT_EQ(inspect({"feed", server->url("/updates/appcast.xml"), "--feed-url", "https://x.test/a.xml"}).status, 2);
  EXPECT_EQ(inspect({"feed", folder / "missing"}).status, 2);
}

TEST(SourceCommandsTest, CompareOrdersVersionsWithEitherComparator) {
  struct Case {
    std::vector<std::string> arguments;
    std::string output;
  } cases[] = {
      {{"1.9", "1.10"}, "-1\n"},
      {{"1.10", "1.9"}, "1\n"},
      {{"1.0", "1.0.0"}, "0\n"},
      {{"v2.0", "2.0"}, "0\n"},
      {{"1.2a", "1.2", "--special"}, "1\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments{"compare"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    auto outcome = inspect(arguments);
    EXPECT_EQ(outcome.status, 0) << c.arguments[0];
    EXPECT_EQ(outcome.output, c.output) << c.arguments[0] << " " << c.arguments[1];
  }
  auto json = inspect({"compare", "1.9", "1.10", "--json"});
  EXPECT_EQ(json.json(), Json({{"a", "1.9"}, {"b", "1.10"}, {"comparator", "standard"}, {"result", -1}}));
  EXPECT_EQ(inspect({"compare", "1.0"}).status, 2);
  EXPECT_EQ(inspect({"compare", "1", "2", "--fast"}).status, 2);
}

}  // namespace
}  // namespace vantor
