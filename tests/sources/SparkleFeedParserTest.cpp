#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "foundation/StringHelpers.h"
#include "sources/CGIInfoHelper.h"
#include "sources/SparkleFeedParser.h"
#include "sources/UpdateInfoSparkle.h"
#include "support/TestSupport.h"

namespace vantor::sources {
namespace {

constexpr const char* kFeedURL = "https://updates.example.test/app/updates/appcast.xml";

std::string feedWithItems(const std::string& items) {
  return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle" xmlns:dc="http://purl.org/dc/elements/1.1/">
  <channel>
    <title>App Changelog</title>
)" + items +
         R"(
  </channel>
</rss>
)";
}

std::string item(const std::string& version, const std::string& extraAttributes = "",
                 const std::string& children = "") {
  return "<item><title>Version " + version + "</title><pubDate>Mon, 01 Jan 2024 10:00:00 +0000</pubDate>" + children +
         "<enclosure url=\"https://dl.example.test/App-" + version + ".zip\" sparkle:version=\"" + version +
         "\" length=\"1024\" type=\"application/octet-stream\" " + extraAttributes + "/></item>\n";
}

// Records the error events raised while it lives.
class EventRecorder {
 public:
  EventRecorder() {
    CGIInfoHelper::setErrorEventObserverForTesting(
        [this](long code, const std::optional<Json>& info) { events.emplace_back(code, info.value_or(nullptr)); });
  }
  ~EventRecorder() { CGIInfoHelper::setErrorEventObserverForTesting(nullptr); }
  std::vector<std::pair<long, Json>> events;
};

class ScopedSystemVersion {
 public:
  explicit ScopedSystemVersion(const char* version) { setenv("VANTOR_SYSTEM_VERSION", version, 1); }
  ~ScopedSystemVersion() { unsetenv("VANTOR_SYSTEM_VERSION"); }
};

std::unique_ptr<SparkleFeedParser> parse(const std::string& feed, const std::string& url = kFeedURL) {
  return SparkleFeedParser::initWithFeedData(std::string_view(feed), url);
}

TEST(SparkleFeedParserTest, PicksNewestItemByVersionNotByFeedOrder) {
  EventRecorder recorder;
  auto parser = parse(feedWithItems(item("1.9") + item("1.10") + item("1.2")));
  ASSERT_NE(parser, nullptr);
  ASSERT_EQ(parser->itemsArray().size(), 3u);
  EXPECT_EQ(parser->itemsArray()[0]->bundleVersion(), "1.9");  // feed order kept
  EXPECT_EQ(parser->newestItemForAnyOS()->versionToCompare(), "1.10");
  EXPECT_EQ(parser->newestItemForCurrentOS(), parser->newestItemForAnyOS());
  EXPECT_EQ(parser->newestItemForAnyOS()->downloadURL(), "https://dl.example.test/App-1.10.zip");
  EXPECT_EQ(parser->feedURL(), kFeedURL);
  EXPECT_TRUE(recorder.events.empty());
}

TEST(SparkleFeedParserTest, NewestForTheRunningSystemSkipsItemsNeedingANewerOne) {
  ScopedSystemVersion running("10.14.6");
  auto parser =
      parse(feedWithItems(item("3.0", "sparkle:minimumSystemVersion=\"10.15\"") +
                          item("2.0", "", "<sparkle:minimumSystemVersion>10.13</sparkle:minimumSystemVersion>") +
                          item("2.5", "sparkle:minimumSystemVersion=\"10.14.7\"") + item("1.0")));
  ASSERT_NE(parser, nullptr);
  EXPECT_EQ(parser->newestItemForAnyOS()->versionToCompare(), "3.0");
  EXPECT_EQ(parser->newestItemForCurrentOS()->versionToCompare(), "2.0");
  EXPECT_EQ(parser->newestItemForCurrentOS()->minimumSystemVersion(), "10.13");
}

TEST(SparkleFeedParserTest, NoItemForTheRunningSystemGivesNothingAndAnEvent) {
  ScopedSystemVersion running("10.14.6");
  EventRecorder recorder;
  std::string feed = feedWithItems(item("3.0", "sparkle:minimumSystemVersion=\"10.15\"") +
                                   item("2.0", "sparkle:minimumSystemVersion=\"11.0\""));
  EXPECT_EQ(parse(feed), nullptr);
  ASSERT_EQ(recorder.events.size(), 1u);
  EXPECT_EQ(recorder.events[0].first, 120);
  EXPECT_EQ(recorder.events[0].second, (Json{{"errorType", "anycompatible"},
                                             {"feedURL", kFeedURL},
                                             {"_newestItemForAnyOS.title", "Version 3.0"},
                                             {"_newestItemForAnyOS.pubDate", "Mon, 01 Jan 2024 10:00:00 +0000"},
                                             {"_newestItemForAnyOS.downloadURL", "https://dl.example.test/App-3.0.zip"},
                                             {"@(_itemsArray.count)", 2},
                                             {"@(data.length)", feed.size()}}));
}

TEST(SparkleFeedParserTest, WindowsOnlyFeedHasNoItems) {
  EventRecorder recorder;
  std::string feed = feedWithItems(item("2.0", "sparkle:os=\"windows-x64\""));
  EXPECT_EQ(parse(feed), nullptr);
  ASSERT_EQ(recorder.events.size(), 1u);
  EXPECT_EQ(recorder.events[0].first, 120);
  EXPECT_EQ(recorder.events[0].second, (Json{{"errorType", "noitems"},
                                             {"feedURL", kFeedURL},
                                             {"@(data.length)", feed.size()},
                                             {"str", feed},
                                             {"bt", ""}}));
}

TEST(SparkleFeedParserTest, EmptyDataRecordsWhereItCameFrom) {
  EventRecorder recorder;
  EXPECT_EQ(SparkleFeedParser::initWithFeedData(std::string_view(""), kFeedURL), nullptr);
  ASSERT_EQ(recorder.events.size(), 1u);
  EXPECT_EQ(recorder.events[0].second["errorType"], "unparsable");
  EXPECT_EQ(recorder.events[0].second["@(data.length)"], 0);
}

TEST(SparkleFeedParserTest, UnparsableDataGivesNothingAndAnEvent) {
  EventRecorder recorder;
  EXPECT_EQ(parse("<html>Bad Gateway"), nullptr);  // recovers into a document, but no channel
  EXPECT_EQ(parse("Service Unavailable"), nullptr);
  ASSERT_EQ(recorder.events.size(), 2u);
  EXPECT_EQ(recorder.events[0].second["errorType"], "noitems");
  const Json& unparsable = recorder.events[1].second;
  EXPECT_EQ(recorder.events[1].first, 120);
  EXPECT_EQ(unparsable["errorType"], "unparsable");
  EXPECT_EQ(unparsable["feedURL"], kFeedURL);
  EXPECT_EQ(unparsable["@(data.length)"], 19);
  EXPECT_NE(unparsable["error"].get<std::string>().find("com.ono.error"), std::string::npos);
}

TEST(SparkleFeedParserTest, NewestItemWithoutAnyVersionGivesNothing) {
  EventRecorder recorder;
  std::string feed =
      feedWithItems("<item><title>Latest</title><enclosure url=\"https://dl.example.test/App.zip\"/></item>");
  EXPECT_EQ(parse(feed), nullptr);
  ASSERT_EQ(recorder.events.size(), 1u);
  const Json& info = recorder.events[0].second;
  EXPECT_EQ(info["errorType"], "noversionsnumber");
  EXPECT_EQ(info["_newestItemForAnyOS.title"], "Latest");
  EXPECT_EQ(info["_newestItemForAnyOS.pubDate"], "(null)");
  EXPECT_EQ(info["@(_itemsArray.count)"], 1);
  EXPECT_EQ(info["str"], base64String(feed));
}

TEST(SparkleFeedParserTest, DroppedItems) {
  struct {
    const char* name;
    std::string item;
    bool kept;
  } cases[] = {
      {"beta child", item("2.0", "", "<sparkle:beta>1</sparkle:beta>"), false},
      {"isBetaBuild child", item("2.0", "", "<isBetaBuild>1</isBetaBuild>"), false},
      {"beta child is compared untrimmed", item("2.0", "", "<beta> 1 </beta>"), true},
      {"beta child 0", item("2.0", "", "<beta>0</beta>"), true},
      {"windows", item("2.0", "sparkle:os=\"windows\""), false},
      {"linux", item("2.0", "os=\"linux-x86_64\""), false},
      {"macos", item("2.0", "sparkle:os=\"macos\""), true},
      {"enclosure beta", item("2.0", "beta=\"1\""), false},
      {"marker beta", item("2.0", "marker=\"beta\""), false},
      {"marker release", item("2.0", "marker=\"release\""), true},
  };
  for (const auto& c : cases) {
    EventRecorder recorder;
    auto parser = parse(feedWithItems(item("1.0") + c.item));
    ASSERT_NE(parser, nullptr) << c.name;
    EXPECT_EQ(parser->itemsArray().size(), c.kept ? 2u : 1u) << c.name;
    EXPECT_EQ(parser->newestItemForAnyOS()->versionToCompare(), c.kept ? "2.0" : "1.0") << c.name;
  }
}

TEST(SparkleFeedParserTest, VersionsFromAttributesOrChildElements) {
  auto parser = parse(feedWithItems(R"(
    <item><title>A</title><sparkle:version> 120 </sparkle:version><sparkle:shortVersionString>1.2</sparkle:shortVersionString>
      <enclosure url="https://dl.example.test/A.zip"/></item>
    <item><title>B</title><enclosure url="https://dl.example.test/B.zip" sparkle:shortVersionString="1.3"/></item>
    <item><title>C</title><version>90</version><enclosure url="https://dl.example.test/C.zip" sparkle:version="" /></item>
    <item><title>D</title><link>https://dl.example.test/D.zip</link><version>5</version></item>)"));
  ASSERT_NE(parser, nullptr);
  const auto& items = parser->itemsArray();
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0]->bundleVersion(), "120");
  EXPECT_EQ(items[0]->shortVersionString(), "1.2");
  EXPECT_EQ(items[0]->versionToCompare(), "120");
  EXPECT_EQ(items[1]->bundleVersion(), std::nullopt);
  EXPECT_EQ(items[1]->versionToCompare(), "1.3");
  EXPECT_EQ(items[2]->versionToCompare(), "90");  // an empty attribute counts as absent
  EXPECT_EQ(items[3]->downloadURL(), "https://dl.example.test/D.zip");
  EXPECT_EQ(parser->newestItemForAnyOS()->title(), "A");
}

TEST(SparkleFeedParserTest, FieldSourcesInOrderOfPreference) {
  auto parser = parse(feedWithItems(R"(
    <item>
      <title>
        Version 2.0
      </title>
      <link>https://example.test/release-page</link>
      <sparkle:minimumSystemVersion>10.9</sparkle:minimumSystemVersion>
      <enclosure url=" https://dl.example.test/App.dmg " length="2048" sparkle:edSignature="ed" hash="h"
                 sparkle:version="200" sparkle:minimumSystemVersion="10.12"/>
      <enclosure url="https://dl.example.test/second.dmg" sparkle:dsaSignature="dsa"/>
    </item>
    <item><sparkle:version>1</sparkle:version><enclosure url="https://x.test/1.zip" hash="h1"/></item>
    <item><sparkle:version>2</sparkle:version><enclosure url="https://x.test/1.zip" dsaSignature="d" edSignature="e"/></item>
  )"));
  ASSERT_NE(parser, nullptr);
  const auto& first = *parser->itemsArray()[0];
  EXPECT_EQ(first.title(), "Version 2.0");
  EXPECT_EQ(first.downloadURL(), "https://dl.example.test/App.dmg");
  EXPECT_EQ(first.downloadSize(), "2048");
  EXPECT_EQ(first.downloadSignatureDSA(), "ed");
  EXPECT_EQ(first.minimumSystemVersion(), "10.12");
  EXPECT_EQ(first.releaseNotes(), std::nullopt);
  EXPECT_EQ(parser->itemsArray()[1]->downloadSignatureDSA(), "h1");
  EXPECT_EQ(parser->itemsArray()[2]->downloadSignatureDSA(), "d");
}

TEST(SparkleFeedParserTest, OnlyTheFirstChannelAndExactItemTagsCount) {
  std::string feed =
      R"(<rss xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel><Item><sparkle:version>9</sparkle:version></Item>)" +
      item("1.0") + R"(</channel><channel>)" + item("5.0") + R"(</channel></rss>)";
  auto parser = parse(feed);
  ASSERT_NE(parser, nullptr);
  ASSERT_EQ(parser->itemsArray().size(), 1u);
  EXPECT_EQ(parser->newestItemForAnyOS()->versionToCompare(), "1.0");
}

TEST(SparkleFeedParserTest, DiagnosticsAreLoggedWithoutChangingTheResult) {
  std::string betaAndTwoChannels = "<rss xmlns:sparkle=\"s\"><channel><beta>1</beta>" + item("1.0") +
                                   "</channel><channel>" + item("2.0") + "</channel></rss>";
  std::string suspicious = feedWithItems(
      "<item><sparkle:version>2</sparkle:version>"
      "<enclosure url=\"https://h.test/dl/site.pkg\"/></item>");
  test::StderrCapture capture;
  EXPECT_NE(parse(betaAndTwoChannels), nullptr);
  EXPECT_NE(parse(suspicious), nullptr);
  std::string logged = capture.text();
  EXPECT_NE(logged.find(std::string("ERRORERRORERROR: feed contains <beta> tag: ") + kFeedURL), std::string::npos);
  EXPECT_NE(logged.find("Warning: feed has more than one channel, please double check if just using the first one "
                        "is what we want: "),
            std::string::npos);
  EXPECT_NE(logged.find(std::string("Error: SparkleFeedParser did not find suspicious viruslike URL in feed '") +
                        kFeedURL + "'"),
            std::string::npos);
  test::StderrCapture quiet;
  EXPECT_NE(parse("<rss xmlns:sparkle=\"s\"><channel>" + item("1.0") + "</channel></rss><beta>"), nullptr);
  EXPECT_EQ(quiet.text(), "");  // a <beta> after the channel is not the feed's
}

TEST(SparkleFeedParserTest, RelativeDownloadURLIsTakenFromTheFeedsFolder) {
  struct {
    const char* enclosureURL;
    const char* feedURL;
    const char* expected;
  } cases[] = {
      {"App-2.0.zip", "https://h.test/updates/appcast.xml", "https://h.test/updates/App-2.0.zip"},
      {"App-2.0.dmg", "https://h.test/updates/appcast.xml?channel=stable#x", "https://h.test/updates/App-2.0.dmg"},
      {"App.zip", "https://h.test/updates/", "https://h.test/updates/App.zip"},
      {"App.zip", "https://h.test", "https://h.test/App.zip"},
      {"dl/App.zip", "https://h.test/updates/appcast.xml", "dl/App.zip"},
      {"App.pkg", "https://h.test/updates/appcast.xml", "App.pkg"},
      {"https://cdn.test/App.zip", "https://h.test/updates/appcast.xml", "https://cdn.test/App.zip"},
  };
  for (const auto& c : cases) {
    std::string feed = feedWithItems("<item><sparkle:version>2</sparkle:version><enclosure url=\"" +
                                     std::string(c.enclosureURL) + "\"/></item>");
    auto parser = parse(feed, c.feedURL);
    ASSERT_NE(parser, nullptr) << c.enclosureURL;
    EXPECT_EQ(parser->newestItemForAnyOS()->downloadURL(), c.expected) << c.enclosureURL << " in " << c.feedURL;
  }
}

TEST(SparkleFeedParserTest, ReleaseNotesInTheUsersBestLanguage) {
  auto document = ONOXMLDocument::XMLDocumentWithData(R"(<item xmlns:sparkle="s">
      <description xml:lang="de">Deutsch</description>
      <description xml:lang="en">English</description>
      <sparkle:releaseNotesLink>https://h.test/notes.html</sparkle:releaseNotesLink>
      <sparkle:releaseNotesLink xml:lang="de">https://h.test/de/notes.html</sparkle:releaseNotesLink>
      <sparkle:version>1</sparkle:version></item>)");
  ASSERT_NE(document, nullptr);
  auto element = document->rootElement();
  struct {
    std::vector<std::string> languages;
    const char* notes;
    const char* link;
  } cases[] = {
      {{"fr", "de", "en"}, "Deutsch", "https://h.test/de/notes.html"},
      {{"fr", "de"}, "Deutsch", "https://h.test/de/notes.html"},
      {{"ja", "en"}, "English", "https://h.test/notes.html"},  // unlisted language: the first such
      {{"ja"}, "English", "https://h.test/notes.html"},
      {{"en", "de"}, "English", "https://h.test/de/notes.html"},
  };
  for (const auto& c : cases) {
    auto parsed = SparkleFeedItem::initWithElement(*element, c.languages);
    ASSERT_NE(parsed, nullptr);
    EXPECT_EQ(parsed->releaseNotes(), c.notes) << c.languages.front();
    EXPECT_EQ(parsed->releaseNotesLink(), c.link) << c.languages.front();
  }
  EXPECT_EQ(SparkleFeedItem::bestLocalItem({}, {"en"}), nullptr);
}

std::string utf16(const std::string& ascii, bool bigEndian, bool byteOrderMark) {
  std::string out;
  if (byteOrderMark) out += bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : ascii) {
    if (bigEndian)
      out += '\0', out += c;
    else
      out += c, out += '\0';
  }
  return out;
}

TEST(SparkleFeedParserTest, FeedValidityRule) {
  std::string feed = feedWithItems(item("1.0"));
  EXPECT_TRUE(SparkleFeedParser::isFeedData(feed));
  EXPECT_TRUE(SparkleFeedParser::isFeedData(utf16(feed, false, true)));
  EXPECT_TRUE(SparkleFeedParser::isFeedData(utf16(feed, true, true)));
  EXPECT_TRUE(SparkleFeedParser::isFeedData(utf16(feed, true, false)));
  EXPECT_TRUE(SparkleFeedParser::isFeedData(utf16(feed, false, false)));
  EXPECT_TRUE(SparkleFeedParser::isFeedData("<rss><channel><title>F\xFCr dich</title></channel></rss>"));  // Latin-1
  EXPECT_FALSE(SparkleFeedParser::isFeedData(feed.substr(0, feed.size() / 2)));                            // cut short
  EXPECT_FALSE(SparkleFeedParser::isFeedData("<html>502 Bad Gateway</html>"));
  EXPECT_FALSE(SparkleFeedParser::isFeedData(""));
  EXPECT_FALSE(SparkleFeedParser::isFeedData(utf16(feed, false, true).substr(1)));
}

TEST(SparkleFeedParserTest, ParsesAUTF16Feed) {
  std::string feed = feedWithItems(item("1.0") + item("2.0"));
  feed.replace(feed.find("utf-8"), 5, "utf-16");
  auto parser = parse(utf16(feed, false, true));
  ASSERT_NE(parser, nullptr);
  EXPECT_EQ(parser->newestItemForAnyOS()->versionToCompare(), "2.0");
}

TEST(SparkleFeedParserTest, ReleaseNotesSinceAVersion) {
  auto parser = parse(feedWithItems(
      item("1.0", "", "<description>one</description>") +
      item("3.0", "", "<description><![CDATA[<p>it's\nthree \\o/</p><script>x()</script>]]></description>") +
      item("2.0", "", "<description>two</description>") + item("2.5")));
  ASSERT_NE(parser, nullptr);
  std::string expected =
      "<html><head></head><body>"
      "<h3 class='header'>3.0</h3><iframe frameborder='0' id='frame0'></iframe><br>"
      "<h3 class='header'>2.0</h3><iframe frameborder='0' id='frame1'></iframe><br> "
      "<script type='text/javascript'>var fr0 = document.getElementById('frame0');var doc0 = "
      "document.getElementById('frame0').contentWindow.document;doc0.open();"
      "doc0.write('<p>it\\'sthree \\\\o/<\\/p><script>x()<\\/script>');doc0.close();fr0.height = 0;"
      "fr0.height = doc0.body.scrollHeight + 'px';</script>"
      "<script type='text/javascript'>var fr1 = document.getElementById('frame1');var doc1 = "
      "document.getElementById('frame1').contentWindow.document;doc1.open();doc1.write('two');doc1.close();"
      "fr1.height = 0;fr1.height = doc1.body.scrollHeight + 'px';</script>"
      "</body></html>";
  EXPECT_EQ(parser->releaseNoteAmalgamateSinceVersion("1.5"), expected);
  EXPECT_EQ(parser->releaseNoteAmalgamateSinceVersion("3.0"), "<html><head></head><body> </body></html>");
}

TEST(SparkleFeedParserTest, HostileFeedsFailCleanly) {
  EventRecorder recorder;
  // Truncated in the middle of an item: what was read before still counts.
  std::string feed = feedWithItems(item("1.0") + item("2.0"));
  auto truncated = parse(feed.substr(0, feed.find("Version 2.0")));
  ASSERT_NE(truncated, nullptr);
  EXPECT_EQ(truncated->newestItemForAnyOS()->versionToCompare(), "1.0");

  // Entities declared by the feed are not expanded, not even into the version.
  std::string laughs =
      R"(<?xml version="1.0"?><!DOCTYPE rss [<!ENTITY a "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa">)"
      R"(<!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">)"
      R"(<!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">)"
      R"(<!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;">)"
      R"(<!ENTITY passwd SYSTEM "file:///etc/passwd">]>)"
      "<rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel>"
      "<item><title>&d;&passwd;</title><sparkle:version>1&d;</sparkle:version>"
      "<description>&passwd;</description></item></channel></rss>";
  auto bomb = parse(laughs);
  ASSERT_NE(bomb, nullptr);
  EXPECT_EQ(bomb->newestItemForAnyOS()->versionToCompare(), "1");
  EXPECT_EQ(bomb->newestItemForAnyOS()->title(), std::nullopt);
  EXPECT_EQ(bomb->newestItemForAnyOS()->releaseNotes(), std::nullopt);

  // Deep nesting inside an item.
  std::string deep = item("1.0");
  std::string nested;
  for (int i = 0; i < 50000; ++i) nested += "<x>";
  deep.insert(deep.find("</item>"), nested);
  EXPECT_NO_FATAL_FAILURE(parse(feedWithItems(deep)));

  // Binary junk that mentions the markers.
  std::string junk = "<rss\x01\x02\xff\xfe\x00</rss>";
  EXPECT_EQ(parse(junk), nullptr);
}

TEST(SparkleFeedParserTest, FiftyMegabyteFeed) {
  std::string items;
  std::string filler(4000, 'n');
  for (int i = 0; items.size() < 50u * 1024 * 1024; ++i)
    items += item("1." + std::to_string(i), "", "<description>" + filler + "</description>");
  auto parser = parse(feedWithItems(items));
  ASSERT_NE(parser, nullptr);
  EXPECT_GT(parser->itemsArray().size(), 12000u);
  EXPECT_EQ(parser->newestItemForAnyOS()->versionToCompare(), "1." + std::to_string(parser->itemsArray().size() - 1));
}

TEST(UpdateInfoSparkleTest, CopiesTheItemAndArchivesUnderOneLetterKeys) {
  auto parser = parse(feedWithItems(R"(<item><title>T</title><pubDate>P</pubDate>
      <description>N</description><sparkle:releaseNotesLink>L</sparkle:releaseNotesLink>
      <enclosure url="https://d.test/A.zip" length="4096" sparkle:edSignature="S" sparkle:version="42"
                 sparkle:shortVersionString="4.2" sparkle:minimumSystemVersion="10.10"/></item>)"));
  ASSERT_NE(parser, nullptr);
  auto info = UpdateInfoSparkle::initWithSparkleFeedItem(*parser->newestItemForAnyOS());
  Json archive = info.encodeWithCoder();
  EXPECT_EQ(archive, (Json{{"a", "42"},
                           {"b", "S"},
                           {"c", 4096},
                           {"d", "https://d.test/A.zip"},
                           {"e", "10.10"},
                           {"f", "P"},
                           {"g", "N"},
                           {"h", "L"},
                           {"i", "4.2"},
                           {"j", "T"}}));
  EXPECT_EQ(UpdateInfoSparkle::initWithCoder(archive), info);
  std::string plist = info.propertyList();
  EXPECT_NE(plist.find("<key>c</key>"), std::string::npos);
  EXPECT_EQ(UpdateInfoSparkle::initWithPropertyList(plist), info);
  EXPECT_EQ(UpdateInfoSparkle::initWithPropertyList("not a plist"), std::nullopt);
}

TEST(UpdateInfoSparkleTest, DownloadSizeIsSetOnlyWhenNotZero) {
  struct {
    const char* length;
    std::optional<std::int64_t> size;
  } cases[] = {
      {"0", std::nullopt}, {"abc", std::nullopt}, {" 12mb", 12}, {"-5", -5}, {"99999999999999999999", INT64_MAX},
      {"", std::nullopt}};
  for (const auto& c : cases) {
    auto parser = parse(
        feedWithItems("<item><sparkle:version>1</sparkle:version><enclosure url=\"https://d.test/A.zip\" length=\"" +
                      std::string(c.length) + "\"/></item>"));
    ASSERT_NE(parser, nullptr);
    auto info = UpdateInfoSparkle::initWithSparkleFeedItem(*parser->newestItemForAnyOS());
    EXPECT_EQ(info.downloadSize, c.size) << c.length;
    EXPECT_EQ(info.encodeWithCoder().contains("c"), c.size.has_value());
  }
  EXPECT_EQ(UpdateInfoSparkle::initWithCoder(Json{{"a", 5}, {"c", "x"}, {"j", "T"}}).title,
            "T");  // wrong kinds skipped
}

}  // namespace
}  // namespace vantor::sources
