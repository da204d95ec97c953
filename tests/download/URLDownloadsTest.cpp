#include "download/URLDownloads.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "DownloadTestHelpers.h"
#include "support/LoopbackServer.h"
#include "foundation/Semaphore.h"

namespace vantor {
namespace {

using test::LoopbackServer;
using test::Milliseconds;
using test::ScriptedResponse;

class URLDownloadsTest : public ::testing::Test {
 protected:
  URLDownloadsTest() {
    server->on("/icon.png", ScriptedResponse::text(200, "PNG bytes"));
    server->on("/error", ScriptedResponse::text(500, "error page"));
    server->on("/late", ScriptedResponse::slowFirstByte(Milliseconds(2000), "late"));
    server->on("/form.cgi", ScriptedResponse::formEcho());
  }
  std::unique_ptr<LoopbackServer> server = LoopbackServer::startHTTP();
};

TEST_F(URLDownloadsTest, DownloadReadsWholeResourcesWithoutLookingAtTheStatus) {
  EXPECT_EQ(test::text(download(server->url("/icon.png"))), "PNG bytes");
  EXPECT_EQ(test::text(contents(test::parsedURL(server->url("/icon.png")))), "PNG bytes");
  EXPECT_EQ(test::text(download(server->url("/error"))), "error page");

  test::TempFolder folder;
  std::string path = folder.path() + "/local.txt";
  ASSERT_TRUE(writeContentsAtomically(path, "local file"));
  EXPECT_EQ(test::text(contents(URL::fileURLWithPath(path))), "local file");
  EXPECT_EQ(download("file://" + folder.path() + "/absent.txt"), std::nullopt);
}

TEST_F(URLDownloadsTest, RequestDownloadStopsWaitingAtItsTimeout) {
  URLRequest request(test::parsedURL(server->url("/icon.png")));
  request.setValue("test-agent", "User-Agent");
  EXPECT_EQ(test::text(download(request)), "PNG bytes");
  EXPECT_EQ(server->requests("/icon.png").back().header("User-Agent"), "test-agent");
  EXPECT_EQ(test::text(downloadWithTimeout(URLRequest(test::parsedURL(server->url("/error"))), 5, false)), "error page");

  test::Stopwatch clock;
  EXPECT_EQ(downloadWithTimeout(URLRequest(test::parsedURL(server->url("/late"))), 0.5, true), std::nullopt);
  EXPECT_LT(clock.seconds(), 1.5);
}

TEST_F(URLDownloadsTest, DownloadWithCurlReturnsWhatCurlPrinted) {
  EXPECT_EQ(downloadWithCurl(server->url("/icon.png")), "PNG bytes");
  EXPECT_EQ(downloadWithCurl(test::parsedURL(server->url("/error"))), "error page");
  EXPECT_EQ(downloadWithCurl("not a url"), std::nullopt);
}

TEST_F(URLDownloadsTest, PerformCallsTheBlockOnAnotherThread) {
  struct Outcome {
    Semaphore done;
    std::optional<std::string> data;
    std::thread::id thread;
  };
  auto outcome = std::make_shared<Outcome>();
  performGET(test::parsedURL(server->url("/error")), [outcome](std::optional<Bytes> data) {
    outcome->data = test::text(data);
    outcome->thread = std::this_thread::get_id();
    outcome->done.signal();
  });
  ASSERT_TRUE(outcome->done.waitFor(10.0));
  EXPECT_EQ(outcome->data, "error page");
  EXPECT_NE(outcome->thread, std::this_thread::get_id());
}

TEST_F(URLDownloadsTest, BlockingFormsPostTheQueryAndGiveUpAtTheirLimit) {
  EXPECT_EQ(test::text(performBlockingGET(test::parsedURL(server->url("/icon.png")), 5)), "PNG bytes");
  EXPECT_EQ(test::text(performBlockingPOST(test::parsedURL(server->url("/form.cgi?c=app&v=2")), 5)), "c=app&v=2");
  auto seen = server->requests("/form.cgi").at(0);
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.target, "/form.cgi");
  EXPECT_EQ(seen.header("Content-Type"), "application/x-www-form-urlencoded");

  test::Stopwatch clock;
  EXPECT_EQ(performBlockingGET(test::parsedURL(server->url("/late")), 0.5), std::nullopt);
  EXPECT_LT(clock.seconds(), 1.5);
}

}  // namespace
}  // namespace vantor
