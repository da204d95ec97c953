// Every class of the family meets the same bad URLs and misbehaving servers: each ends in
// nothing (0 or false for the size checks) within its time limits, never in a hang.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "DownloadTestHelpers.h"
#include "support/LoopbackServer.h"
#include "support/SilentListener.h"
#include "download/HTTPContentLengthChecker.h"
#include "download/HTTPDownloader.h"
#include "download/HTTPPartialDownloader.h"
#include "download/HTTPRedirectChecker.h"
#include "download/HTTPRetryingDownloader.h"
#include "download/HTTPSecurePOST.h"
#include "download/HTTPSizeChecker.h"
#include "download/URLDownloads.h"
#include "foundation/Semaphore.h"

namespace vantor {
namespace {

using test::LoopbackServer;
using test::ScriptedResponse;

constexpr double kLimit = 0.5;  // the time limit given to every call that takes one

std::int64_t waitForSize(const std::function<void(std::function<void(std::int64_t)>)>& start) {
  auto done = std::make_shared<Semaphore>();
  auto size = std::make_shared<std::int64_t>(-999);
  start([done, size](std::int64_t value) {
    *size = value;
    done->signal();
  });
  EXPECT_TRUE(done->waitFor(30.0));
  return *size;
}

// Each entry fetches url and tells whether anything came back.
struct Client {
  const char* name;
  std::function<bool(const URL& url)> gotSomething;
};

std::vector<Client> allClients() {
  auto noProgress = [](std::int64_t, std::int64_t) {};
  auto neverAbort = [] { return false; };
  return {
      {"HTTPDownloader",
       [=](const URL& url) {
         HTTPDownloader downloader;
         downloader.setInactivityTimeout(kLimit);
         return downloader.downloadURL(url, {}, noProgress, neverAbort).has_value();
       }},
      {"HTTPRetryingDownloader",
       [](const URL& url) {
         return HTTPRetryingDownloader()
             .downloadURL(url, kLimit, 0, 0, [](const Bytes& bytes) { return !bytes.empty(); })
             .has_value();
       }},
      {"HTTPSecurePOST",
       [](const URL& url) { return HTTPSecurePOST().downloadURLWithSecurePOST(url, kLimit).has_value(); }},
      {"HTTPContentLengthChecker",
       [](const URL& url) {
         return waitForSize([&](auto block) { HTTPContentLengthChecker().checkSizeOfURL(url, block); }) != 0;
       }},
      {"HTTPSizeChecker",
       [](const URL& url) {
         return waitForSize([&](auto block) { HTTPSizeChecker::checkSizeOfURL(url, 10, true, block); }) != 0;
       }},
      {"HTTPPartialDownloader", [](const URL& url) { return HTTPPartialDownloader().downloadURL(url, 10); }},
      {"HTTPRedirectChecker",
       [](const URL& url) { return HTTPRedirectChecker().checkRedirectHeader(url, kLimit).has_value(); }},
      {"download", [](const URL& url) { return download(url).has_value(); }},
      {"downloadWithTimeout",
       [](const URL& url) { return downloadWithTimeout(URLRequest(url), kLimit, true).has_value(); }},
      {"performBlockingGET", [](const URL& url) { return performBlockingGET(url, kLimit).has_value(); }},
      {"performBlockingPOST", [](const URL& url) { return performBlockingPOST(url, kLimit).has_value(); }},
  };
}

TEST(BadInputTest, TextsThatAreNotURLsGiveNothing) {
  for (const char* text : {"", "not a url", "http://exa mple.com/", "://no-scheme", "http://[::1/unclosed"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(download(std::string(text)));
    EXPECT_FALSE(downloadWithCurl(std::string(text)));
  }
}

TEST(BadInputTest, UnusableURLsAndRefusedConnectionsGiveNothing) {
  const std::vector<std::string> urls = {
      "http//127.0.0.1/missing-colon",
      "http://[::1/unclosed-bracket",
      "gopher://127.0.0.1/x",
      "unknownscheme://host/path",
      "ftp://127.0.0.1:1/file",
      "mailto:someone@example.com",
      "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()) + "/refused",
  };
  for (const Client& client : allClients()) {
    for (const std::string& text : urls) {
      auto url = URL::parse(text);
      if (!url) continue;  // not even a URL: covered above
      SCOPED_TRACE(std::string(client.name) + " " + text);
      test::Stopwatch clock;
      EXPECT_FALSE(client.gotSomething(*url));
      EXPECT_LT(clock.seconds(), 5.0);
    }
  }
}

TEST(BadInputTest, SilentPeersEndWithinTheLimits) {
  // Accepted by the kernel but never answered, and a server that reads the request and
  // then says nothing.
  test::SilentListener listener;
  auto server = LoopbackServer::startHTTP();
  server->on("/silent", ScriptedResponse::silence());
  for (const std::string& text :
       {listener.url("http", "/file"), listener.url("https", "/file"), server->url("/silent")}) {
    URL url = test::parsedURL(text);
    for (const Client& client : allClients()) {
      if (std::string(client.name) == "HTTPPartialDownloader" || std::string(client.name) == "download" ||
          std::string(client.name) == "HTTPContentLengthChecker" || std::string(client.name) == "HTTPSizeChecker")
        continue;  // these wait for the default limit of a minute by design
      SCOPED_TRACE(std::string(client.name) + " " + text);
      test::Stopwatch clock;
      EXPECT_FALSE(client.gotSomething(url));
      EXPECT_LT(clock.seconds(), 5.0);
    }
  }
}

TEST(BadInputTest, RedirectLoopGivesNothing) {
  auto server = LoopbackServer::startHTTP();
  server->on("/loop", ScriptedResponse::redirect(301, "/loop"));
  for (const Client& client : allClients()) {
    std::string name = client.name;
    if (name == "HTTPRedirectChecker" || name == "HTTPContentLengthChecker" || name == "HTTPSizeChecker") continue;
    SCOPED_TRACE(name);
    test::Stopwatch clock;
    EXPECT_FALSE(client.gotSomething(test::parsedURL(server->url("/loop"))));
    EXPECT_LT(clock.seconds(), 5.0);
  }
  // The size checks follow the loop too and end with no response at all.
  EXPECT_EQ(waitForSize([&](auto block) { HTTPContentLengthChecker().checkSizeOfURL(test::parsedURL(server->url("/loop")), block); }),
            0);
  // The redirect checker does not follow: the loop's first hop is its answer.
  EXPECT_TRUE(HTTPRedirectChecker().checkRedirectHeader(test::parsedURL(server->url("/loop")), kLimit));
}

}  // namespace
}  // namespace vantor
