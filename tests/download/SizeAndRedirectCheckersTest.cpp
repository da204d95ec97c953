#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "DownloadTestHelpers.h"
#include "support/LoopbackServer.h"
#include "support/SilentListener.h"
#include "download/HTTPContentLengthChecker.h"
#include "download/HTTPPartialDownloader.h"
#include "download/HTTPRedirectChecker.h"
#include "download/HTTPSizeChecker.h"
#include "foundation/Semaphore.h"

namespace vantor {
namespace {

using test::LoopbackServer;
using test::Milliseconds;
using test::ScriptedResponse;

// Collects the one result of a callback-form check; counts further calls as faults.
struct SizeResult {
  Semaphore done;
  std::atomic<int> calls{0};
  std::int64_t size = -999;
  std::thread::id thread;

  std::function<void(std::int64_t)> block() {
    return [this](std::int64_t value) {
      size = value;
      thread = std::this_thread::get_id();
      if (++calls == 1) done.signal();
    };
  }
  std::int64_t wait() {
    EXPECT_TRUE(done.waitFor(20.0));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // room for a wrong second call
    EXPECT_EQ(calls.load(), 1);
    EXPECT_NE(thread, std::this_thread::get_id());
    return size;
  }
};

class CheckersTest : public ::testing::Test {
 protected:
  CheckersTest() {
    server->on("/announced", ScriptedResponse::text(200, std::string(1234, 'a')));
    server->on("/unannounced", ScriptedResponse::withoutLength(std::string(2000, 'u')));
    server->on("/small", ScriptedResponse::text(200, std::string(100, 's')));
    server->on("/missing", ScriptedResponse::text(404, std::string(5000, 'm')));
    // Ten seconds of body, announced up front.
    server->on("/slow", ScriptedResponse::trickle(std::string(100, 'z'), 1, Milliseconds(100)));
  }
  URL refusedURL() const {
    return test::parsedURL("http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()) + "/x");
  }

  std::unique_ptr<LoopbackServer> server = LoopbackServer::startHTTP();
};

TEST_F(CheckersTest, ContentLengthCheckerReportsTheAnnouncedLengthOnce) {
  struct Case {
    URL url;
    std::int64_t length;
  };
  const Case cases[] = {{test::parsedURL(server->url("/announced")), 1234},
                        {test::parsedURL(server->url("/unannounced")), -1},
                        {test::parsedURL(server->url("/missing")), 5000},  // whatever the status
                        {refusedURL(), 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url.absoluteString());
    SizeResult result;
    HTTPContentLengthChecker().checkSizeOfURL(c.url, result.block());
    EXPECT_EQ(result.wait(), c.length);
  }
}

TEST_F(CheckersTest, ContentLengthCheckerDoesNotReadTheBody) {
  SizeResult result;
  test::Stopwatch clock;
  HTTPContentLengthChecker().checkSizeOfURL(test::parsedURL(server->url("/slow")), result.block());
  EXPECT_EQ(result.wait(), 100);
  EXPECT_LT(clock.seconds(), 5.0);  // the body would take ten
}

TEST_F(CheckersTest, SizeCheckerConfirmsSmallOrUnknownLengthsByReading) {
  struct Case {
    std::string path;
    std::int32_t minimumSize;
    bool allowDownload;
    std::int64_t size;
  };
  const Case cases[] = {
      {"/announced", 1000, false, 1234}, {"/announced", 1000, true, 1234},
      {"/announced", 5000, false, 1234}, {"/small", 500, true, 0},  // read, but too little
      {"/unannounced", 500, true, 1000},                          // 2 x minimum once confirmed
      {"/unannounced", 5000, true, 0},   {"/unannounced", 500, false, -1},
      {"/missing", 10000, true, 0},  // more than enough bytes, but a 404
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " " + std::to_string(c.minimumSize) + (c.allowDownload ? " download" : ""));
    SizeResult result;
    HTTPSizeChecker::checkSizeOfURL(test::parsedURL(server->url(c.path)), c.minimumSize, c.allowDownload, result.block());
    EXPECT_EQ(result.wait(), c.size);
  }
  SizeResult refused;
  HTTPSizeChecker::checkSizeOfURL(refusedURL(), 100, true, refused.block());
  EXPECT_EQ(refused.wait(), 0);
}

TEST_F(CheckersTest, PartialDownloaderStopsOnceTheMinimumIsPassed) {
  EXPECT_TRUE(HTTPPartialDownloader().downloadURL(test::parsedURL(server->url("/announced")), 1000));
  EXPECT_FALSE(HTTPPartialDownloader().downloadURL(test::parsedURL(server->url("/announced")), 1234));  // more than, not equal
  EXPECT_FALSE(HTTPPartialDownloader().downloadURL(test::parsedURL(server->url("/missing")), 100));
  test::Stopwatch clock;
  EXPECT_TRUE(HTTPPartialDownloader().downloadURL(test::parsedURL(server->url("/slow")), 5));
  EXPECT_LT(clock.seconds(), 5.0);  // cancelled long before the ten-second body ends
}

TEST_F(CheckersTest, RedirectCheckerReturnsTheFirstRedirectsHeaderFields) {
  server->on("/short", ScriptedResponse::redirect(302, "https://example.invalid/app-2.0.zip"));
  server->on("/hop", ScriptedResponse::redirect(301, "/short"));
  test::Stopwatch clock;

  auto fields = HTTPRedirectChecker().checkRedirectHeader(test::parsedURL(server->url("/short")), 3.0);
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->at("location"), "https://example.invalid/app-2.0.zip");
  EXPECT_LT(clock.seconds(), 2.0);

  fields = HTTPRedirectChecker().checkRedirectHeader(test::parsedURL(server->url("/hop")), 3.0);
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->at("Location"), "/short");
  EXPECT_EQ(server->requestCount("/short"), 1);  // not followed
}

TEST_F(CheckersTest, RedirectCheckerWaitsTheWholeTimeWithoutARedirect) {
  for (const char* path : {"/announced", "/missing"}) {
    SCOPED_TRACE(path);
    test::Stopwatch clock;
    EXPECT_EQ(HTTPRedirectChecker().checkRedirectHeader(test::parsedURL(server->url(path)), 0.5), std::nullopt);
    EXPECT_GE(clock.seconds(), 0.6);
    EXPECT_LT(clock.seconds(), 3.0);
  }
}

}  // namespace
}  // namespace vantor
