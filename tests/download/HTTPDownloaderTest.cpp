#include "download/HTTPDownloader.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "DownloadTestHelpers.h"
#include "support/LoopbackServer.h"

namespace vantor {
namespace {

using test::LoopbackServer;
using test::ScriptedResponse;

// Records every progress and abort call and the threads they ran on.
struct Observer {
  std::mutex lock;
  std::vector<std::pair<std::int64_t, std::int64_t>> progress;
  int abortCalls = 0;
  bool abortAnswer = false;
  bool ranOnCaller = false;
  std::thread::id caller = std::this_thread::get_id();

  HTTPDownloader::ProgressBlock progressBlock() {
    return [this](std::int64_t received, std::int64_t expected) {
      std::lock_guard guard(lock);
      progress.emplace_back(received, expected);
      ranOnCaller = ranOnCaller || std::this_thread::get_id() == caller;
    };
  }
  HTTPDownloader::AbortBlock abortBlock() {
    return [this] {
      std::lock_guard guard(lock);
      ++abortCalls;
      ranOnCaller = ranOnCaller || std::this_thread::get_id() == caller;
      return abortAnswer;
    };
  }
  std::optional<std::string> fetch(const std::string& url, const HTTPHeaderFields& headers = {},
                                   double inactivity = kDefaultTimeoutInterval) {
    HTTPDownloader downloader;
    downloader.setInactivityTimeout(inactivity);
    return test::text(downloader.downloadURL(test::parsedURL(url), headers, progressBlock(), abortBlock()));
  }
};

class HTTPDownloaderTest : public ::testing::Test {
 protected:
  std::unique_ptr<LoopbackServer> server = LoopbackServer::startHTTP();
};

TEST_F(HTTPDownloaderTest, ReturnsTheBodyWithProgressFromZeroToTheEnd) {
  std::string body(300000, 'x');
  server->on("/app.zip", ScriptedResponse::text(200, body));
  Observer observer;

  auto data = observer.fetch(server->url("/app.zip"), {{"User-Agent", "Vantor-Test/1.0"}});

  ASSERT_EQ(data, body);
  ASSERT_GE(observer.progress.size(), 2u);
  EXPECT_EQ(observer.progress.front(), std::make_pair(std::int64_t{0}, std::int64_t{300000}));
  EXPECT_EQ(observer.progress.back(), std::make_pair(std::int64_t{300000}, std::int64_t{300000}));
  EXPECT_EQ(observer.abortCalls, static_cast<int>(observer.progress.size()) - 1);  // once per chunk
  EXPECT_FALSE(observer.ranOnCaller);
  EXPECT_EQ(server->requests("/app.zip").at(0).header("User-Agent"), "Vantor-Test/1.0");
}

TEST_F(HTTPDownloaderTest, NotFoundGivesNothingButItsBodyStillShowsAsProgress) {
  server->on("/missing.zip", ScriptedResponse::text(404, std::string(1000, 'e')));
  Observer observer;

  EXPECT_EQ(observer.fetch(server->url("/missing.zip")), std::nullopt);
  ASSERT_FALSE(observer.progress.empty());
  EXPECT_EQ(observer.progress.back().first, 1000);
}

TEST_F(HTTPDownloaderTest, AbortOnTheFirstChunkGivesNothing) {
  server->on("/big.zip", ScriptedResponse::trickle(std::string(100000, 'b'), 1000, test::Milliseconds(20)));
  Observer observer;
  observer.abortAnswer = true;
  test::Stopwatch clock;

  EXPECT_EQ(observer.fetch(server->url("/big.zip")), std::nullopt);
  EXPECT_EQ(observer.abortCalls, 1);
  EXPECT_LT(clock.seconds(), 1.5);  // the whole trickle would take 2 s
}

TEST_F(HTTPDownloaderTest, UnknownLengthIsReportedAsMinusOne) {
  server->on("/stream", ScriptedResponse::withoutLength("no length here"));
  Observer observer;

  EXPECT_EQ(observer.fetch(server->url("/stream")), "no length here");
  ASSERT_FALSE(observer.progress.empty());
  for (const auto& [received, expected] : observer.progress) EXPECT_EQ(expected, -1);
}

TEST_F(HTTPDownloaderTest, RedirectsAreFollowedAndTheFinalStatusDecides) {
  server->on("/old", ScriptedResponse::redirect(302, "/new"));
  server->on("/new", ScriptedResponse::text(200, "moved body"));
  server->on("/gone", ScriptedResponse::redirect(301, server->url("/missing")));
  server->on("/missing", ScriptedResponse::text(404, "not here"));
  Observer observer;

  EXPECT_EQ(observer.fetch(server->url("/old")), "moved body");
  EXPECT_EQ(observer.fetch(server->url("/gone")), std::nullopt);
  EXPECT_EQ(server->requestCount("/missing"), 1);
}

TEST_F(HTTPDownloaderTest, BodiesBeyondTheFirstBufferArriveWhole) {
  std::string body(51 * 1024 * 1024 + 3, '\0');  // past the first buffer of 50 MiB
  for (size_t i = 0; i < body.size(); i += 4093) body[i] = static_cast<char>(i / 4093);
  server->on("/large", ScriptedResponse::text(200, body));
  server->on("/large-unannounced", ScriptedResponse::withoutLength(body));
  Observer observer;

  EXPECT_TRUE(observer.fetch(server->url("/large")) == body);
  EXPECT_TRUE(observer.fetch(server->url("/large-unannounced")) == body);
}

TEST_F(HTTPDownloaderTest, AnnouncedLengthBoundsTheBody) {
  // HTTP framing: bytes beyond the announced length are not part of the response; a body
  // that ends early is a failed transfer.
  server->on("/longer", ScriptedResponse::withAnnouncedLength(std::string(1 << 20, 'L'), 10));
  server->on("/shorter", ScriptedResponse::withAnnouncedLength("short", 1000));
  Observer observer;

  EXPECT_EQ(observer.fetch(server->url("/longer")), std::string(10, 'L'));
  EXPECT_EQ(observer.fetch(server->url("/shorter")), std::nullopt);
}

TEST_F(HTTPDownloaderTest, SilentServerEndsOnTheInactivityLimit) {
  server->on("/silent", ScriptedResponse::silence());
  Observer observer;
  test::Stopwatch clock;

  EXPECT_EQ(observer.fetch(server->url("/silent"), {}, 1.0), std::nullopt);
  EXPECT_LT(clock.seconds(), 10.0);
}

TEST(HTTPDownloaderDefaults, InactivityLimitIsSixtySeconds) {
  EXPECT_EQ(HTTPDownloader().inactivityTimeout(), 60.0);
}

}  // namespace
}  // namespace vantor
