#include "download/HTTPRetryingDownloader.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "DownloadTestHelpers.h"
#include "support/LoopbackServer.h"

namespace vantor {
namespace {

using test::LoopbackServer;
using test::Milliseconds;
using test::ScriptedResponse;

class HTTPRetryingDownloaderTest : public ::testing::Test {
 protected:
  HTTPRetryingDownloaderTest() {
    downloader.setSleeper([this](double seconds) { sleeps.push_back(seconds); });
  }

  std::unique_ptr<LoopbackServer> server = LoopbackServer::startHTTP();
  HTTPRetryingDownloader downloader;
  std::vector<double> sleeps;
};

TEST_F(HTTPRetryingDownloaderTest, AttemptsAndSleepsFollowTheRetryCount) {
  struct Case {
    std::int32_t maximumRetries;
    int attempts;
    size_t sleepsBetween;
  };
  const Case cases[] = {{0, 1, 0}, {2, 3, 2}, {-1, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.maximumRetries);
    std::string path = "/refused-" + std::to_string(c.maximumRetries);
    server->on(path, ScriptedResponse::text(200, "never good enough"));
    sleeps.clear();
    int checks = 0;

    auto data = downloader.downloadURL(test::parsedURL(server->url(path)), 2.0, c.maximumRetries, 0.25, [&](const Bytes&) {
      ++checks;
      return false;
    });

    EXPECT_FALSE(data);
    EXPECT_EQ(server->requestCount(path), c.attempts);
    EXPECT_EQ(checks, c.attempts);
    EXPECT_EQ(sleeps, std::vector<double>(c.sleepsBetween, 0.25));
  }
}

TEST_F(HTTPRetryingDownloaderTest, ThirdAttemptSucceedsAndIsTagged) {
  server->onSequence("/cask.rb", {ScriptedResponse::text(503, "busy"), ScriptedResponse::text(200, "truncated"),
                                  ScriptedResponse::text(200, "cask 'x' do\nend\n")});
  std::vector<std::string> seen;

  auto data = downloader.downloadURL(test::parsedURL(server->url("/cask.rb")), 2.0, 3, 1.0, [&](const Bytes& bytes) {
    seen.push_back(toString(bytes));
    return contains(toString(bytes), "end");
  });

  ASSERT_TRUE(data);
  EXPECT_EQ(toString(data->bytes), "cask 'x' do\nend\n");
  EXPECT_EQ(data->associatedValue, Json(2));
  // A failed status reaches the checker as empty data.
  EXPECT_EQ(seen, (std::vector<std::string>{"", "truncated", "cask 'x' do\nend\n"}));
  EXPECT_EQ(sleeps.size(), 2u);
  EXPECT_EQ(server->requestCount("/cask.rb"), 3);
}

TEST_F(HTTPRetryingDownloaderTest, FirstAttemptIsTaggedZero) {
  server->on("/feed.xml", ScriptedResponse::text(200, "<rss></rss>"));
  auto data = downloader.downloadURL(test::parsedURL(server->url("/feed.xml")), 2.0, 2, 1.0, [](const Bytes&) { return true; });
  ASSERT_TRUE(data);
  EXPECT_EQ(data->associatedValue, Json(0));
  EXPECT_TRUE(sleeps.empty());
}

TEST_F(HTTPRetryingDownloaderTest, TrickleLongerThanTheAttemptFailsAndDoesNotLeakIntoTheNext) {
  // 2 s of trickling against a 1 s attempt: the connection never idles, the attempt
  // still ends at 1.1 s. Its late bytes must not reach the second attempt.
  server->onSequence("/slow", {ScriptedResponse::trickle(std::string(20, 'A'), 1, Milliseconds(100)),
                               ScriptedResponse::text(200, "BBBB")});
  std::vector<std::string> seen;
  test::Stopwatch clock;

  auto data = downloader.downloadURL(test::parsedURL(server->url("/slow")), 1.0, 1, 0.0, [&](const Bytes& bytes) {
    seen.push_back(toString(bytes));
    return !bytes.empty();
  });

  ASSERT_TRUE(data);
  EXPECT_EQ(toString(data->bytes), "BBBB");
  EXPECT_EQ(data->associatedValue, Json(1));
  EXPECT_EQ(seen, std::vector<std::string>{"BBBB"});  // the timed-out attempt is never judged
  EXPECT_GE(clock.seconds(), 1.1);
  EXPECT_LT(clock.seconds(), 1.9);  // well before the trickle would have ended
}

TEST_F(HTTPRetryingDownloaderTest, FailedTransferReachesTheCheckerAsEmptyData) {
  // So a checker that accepts anything accepts a failure, as empty data.
  server->on("/missing", ScriptedResponse::text(404, "error page"));
  auto data = downloader.downloadURL(test::parsedURL(server->url("/missing")), 2.0, 0, 0.0, [](const Bytes&) { return true; });
  ASSERT_TRUE(data);
  EXPECT_TRUE(data->bytes.empty());
}

TEST_F(HTTPRetryingDownloaderTest, SilentServerCostsTheAttemptLimitOnly) {
  server->on("/silent", ScriptedResponse::silence());
  test::Stopwatch clock;

  auto data = downloader.downloadURL(test::parsedURL(server->url("/silent")), 0.5, 1, 0.0,
                                     [](const Bytes& bytes) { return !bytes.empty(); });

  EXPECT_FALSE(data);
  EXPECT_EQ(server->requestCount("/silent"), 2);
  EXPECT_GE(clock.seconds(), 1.0);  // each attempt ends on the request's own time limit
  EXPECT_LT(clock.seconds(), 5.0);
}

TEST_F(HTTPRetryingDownloaderTest, RequestFormKeepsHeaderFields) {
  server->on("/appcast.xml", ScriptedResponse::text(200, "<rss></rss>"));
  URLRequest request(test::parsedURL(server->url("/appcast.xml")));
  request.setValue("text/javascript, text/html, application/xml, */*", "Accept");
  request.setValue("Mozilla/5.0 (Macintosh; Intel Mac OS X 10_14_0)", "User-Agent");

  auto data = downloader.downloadRequest(request, 2.0, 0, 0.0, [](const Bytes&) { return true; });

  ASSERT_TRUE(data);
  auto seen = server->requests("/appcast.xml").at(0);
  EXPECT_EQ(seen.header("Accept"), "text/javascript, text/html, application/xml, */*");
  EXPECT_EQ(seen.header("User-Agent"), "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_14_0)");
}

TEST(HTTPRetryingDownloaderSleep, SleepsTheWaitingTimeBetweenAttempts) {
  auto server = LoopbackServer::startHTTP();
  server->on("/x", ScriptedResponse::text(404, ""));
  test::Stopwatch clock;
  EXPECT_FALSE(HTTPRetryingDownloader().downloadURL(test::parsedURL(server->url("/x")), 2.0, 2, 0.3,
                                                    [](const Bytes& bytes) { return !bytes.empty(); }));
  EXPECT_GE(clock.seconds(), 0.6);
}

}  // namespace
}  // namespace vantor
