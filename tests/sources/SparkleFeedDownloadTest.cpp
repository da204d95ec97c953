// The feed parser against a loopback server: what it asks for, and what it makes of the
// answers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sources/CGIInfoHelper.h"
#include "sources/SparkleFeedParser.h"
#include "support/LoopbackServer.h"
#include "support/ScopedEnvironmentVariable.h"

namespace vantor::sources {
namespace {

using test::LoopbackServer;
using test::ScriptedResponse;

std::string appcast() {
  return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel>
    <title>App</title>
    <item><title>3.0</title><sparkle:minimumSystemVersion>10.15</sparkle:minimumSystemVersion>
      <enclosure url="App-3.0.zip" sparkle:version="300" sparkle:shortVersionString="3.0"/></item>
    <item><title>2.1</title><sparkle:minimumSystemVersion>10.13</sparkle:minimumSystemVersion>
      <enclosure url="App-2.1.dmg" sparkle:version="210" sparkle:shortVersionString="2.1"/></item>
    <item><title>2.0</title>
      <enclosure url="https://cdn.example.test/App-2.0.zip" sparkle:version="200" sparkle:shortVersionString="2.0"/></item>
    <item><title>Windows</title>
      <enclosure url="App-9.0.exe" sparkle:version="900" sparkle:os="windows"/></item>
  </channel>
</rss>
)";
}

class RecordedEvents {
 public:
  RecordedEvents() {
    CGIInfoHelper::setErrorEventObserverForTesting(
        [this](long code, const std::optional<Json>& info) { events.emplace_back(code, info.value_or(nullptr)); });
  }
  ~RecordedEvents() { CGIInfoHelper::setErrorEventObserverForTesting(nullptr); }
  std::vector<std::pair<long, Json>> events;
};

TEST(SparkleFeedDownloadTest, FeedURLYieldsTheNewestItemsAndTheirDownloadURLs) {
  test::ScopedEnvironmentVariable system("VANTOR_SYSTEM_VERSION", "10.14.6");
  auto server = LoopbackServer::startHTTP();
  server->on("/updates/appcast.xml", ScriptedResponse::text(200, appcast()));
  RecordedEvents recorded;

  auto parser = SparkleFeedParser::initWithFeedURL(server->url("/updates/appcast.xml"), std::nullopt);
  ASSERT_NE(parser, nullptr);
  EXPECT_EQ(parser->feedURL(), server->url("/updates/appcast.xml"));
  EXPECT_EQ(parser->itemsArray().size(), 3u);
  EXPECT_EQ(parser->newestItemForAnyOS()->versionToCompare(), "300");
  EXPECT_EQ(parser->newestItemForAnyOS()->downloadURL(), server->url("/updates/App-3.0.zip"));
  EXPECT_EQ(parser->newestItemForCurrentOS()->versionToCompare(), "210");
  EXPECT_EQ(parser->newestItemForCurrentOS()->downloadURL(), server->url("/updates/App-2.1.dmg"));
  EXPECT_TRUE(recorded.events.empty());

  ASSERT_EQ(server->requestCount("/updates/appcast.xml"), 1);
  auto request = server->requests("/updates/appcast.xml").front();
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.header("Accept"), "text/javascript, text/html, application/xml, */*");
  EXPECT_EQ(request.header("User-Agent"), "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_14_0)");
  EXPECT_TRUE(server->unexpectedRequests().empty());
}

TEST(SparkleFeedDownloadTest, SendsTheRecordsUserAgent) {
  auto server = LoopbackServer::startHTTP();
  server->on("/appcast.xml", ScriptedResponse::text(200, appcast()));
  ASSERT_NE(SparkleFeedParser::initWithFeedURL(server->url("/appcast.xml"), "Vantor/1.0 (custom)"), nullptr);
  EXPECT_EQ(server->requests("/appcast.xml").front().header("User-Agent"), "Vantor/1.0 (custom)");
}

TEST(SparkleFeedDownloadTest, RetriesUntilTheAnswerIsAFeed) {
  auto server = LoopbackServer::startHTTP();
  server->onSequence("/appcast.xml", {ScriptedResponse::text(200, "<html>Service temporarily unavailable</html>"),
                                      ScriptedResponse::text(200, appcast())});
  auto parser = SparkleFeedParser::initWithFeedURL(server->url("/appcast.xml"), std::nullopt);
  ASSERT_NE(parser, nullptr);
  EXPECT_EQ(parser->newestItemForAnyOS()->versionToCompare(), "300");
  EXPECT_EQ(server->requestCount("/appcast.xml"), 2);
}

TEST(SparkleFeedDownloadTest, AcceptsAUTF16Feed) {
  std::string feed = appcast();
  feed.replace(feed.find("utf-8"), 5, "utf-16");
  std::string utf16 = "\xFF\xFE";
  for (char c : feed) utf16 += c, utf16 += '\0';
  auto server = LoopbackServer::startHTTP();
  server->on("/appcast.xml", ScriptedResponse::text(200, utf16));
  auto parser = SparkleFeedParser::initWithFeedURL(server->url("/appcast.xml"), std::nullopt);
  ASSERT_NE(parser, nullptr);
  EXPECT_EQ(server->requestCount("/appcast.xml"), 1);
  EXPECT_EQ(parser->newestItemForAnyOS()->downloadURL(), server->url("/App-3.0.zip"));
}

TEST(SparkleFeedDownloadTest, NoFeedAfterThreeAttemptsGivesNothingWithoutEvent) {
  auto server = LoopbackServer::startHTTP();
  server->on("/appcast.xml", ScriptedResponse::text(404, appcast()));
  RecordedEvents recorded;
  EXPECT_EQ(SparkleFeedParser::initWithFeedURL(server->url("/appcast.xml"), std::nullopt), nullptr);
  EXPECT_EQ(server->requestCount("/appcast.xml"), 3);
  EXPECT_TRUE(recorded.events.empty());
}

TEST(SparkleFeedDownloadTest, FeedWithoutUsableItemsRaisesItsEvent) {
  auto server = LoopbackServer::startHTTP();
  std::string feed = R"(<rss><channel><item><enclosure url="a.exe" os="windows" version="1"/></item></channel></rss>)";
  server->on("/appcast.xml", ScriptedResponse::text(200, feed));
  RecordedEvents recorded;
  EXPECT_EQ(SparkleFeedParser::initWithFeedURL(server->url("/appcast.xml"), std::nullopt), nullptr);
  ASSERT_EQ(recorded.events.size(), 1u);
  EXPECT_EQ(recorded.events[0].first, 120);
  EXPECT_EQ(recorded.events[0].second["errorType"], "noitems");
  EXPECT_EQ(recorded.events[0].second["feedURL"], server->url("/appcast.xml"));
  EXPECT_EQ(recorded.events[0].second["str"], feed);
}

}  // namespace
}  // namespace vantor::sources
