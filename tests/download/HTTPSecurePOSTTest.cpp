#include "download/HTTPSecurePOST.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "DownloadTestHelpers.h"
#include "support/LoopbackServer.h"
#include "support/ScopedEnvironmentVariable.h"
#include "download/ServerIssuerCheck.h"
#include "download/URLDownloads.h"
#include "foundation/Semaphore.h"

namespace vantor {
namespace {

using test::LoopbackServer;
using test::ScriptedResponse;
using test::TestCertificateAuthority;

// Two authorities are trusted through VANTOR_CA_BUNDLE: one whose name carries the
// product server's issuer word and one whose name does not. A third carries the word but
// is trusted nowhere.
class HTTPSecurePOSTTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder = new test::TempFolder;
    productAuthority = new TestCertificateAuthority("Loopback " + test::issuerWord() + " Authority 2");
    plainAuthority = new TestCertificateAuthority("Loopback Plain Authority");
    strangerAuthority = new TestCertificateAuthority("Stranger " + test::issuerWord() + " Authority");
    std::string bundle = folder->path() + "/trusted.pem";
    ASSERT_TRUE(writeContentsAtomically(bundle, productAuthority->certificatePEM() + plainAuthority->certificatePEM()));
    trust = new test::ScopedEnvironmentVariable("VANTOR_CA_BUNDLE", bundle);
  }
  static void TearDownTestSuite() {
    delete trust;
    delete strangerAuthority;
    delete plainAuthority;
    delete productAuthority;
    delete folder;
  }

  static std::unique_ptr<LoopbackServer> serverSignedBy(const TestCertificateAuthority& authority,
                                                        const std::vector<std::string>& names = {"localhost"},
                                                        const std::vector<std::string>& addresses = {"127.0.0.1"}) {
    auto server = LoopbackServer::startHTTPS(authority.issueServerIdentity(names, addresses));
    server->on("/cgi-bin/x.cgi", ScriptedResponse::formEcho());
    return server;
  }

  static inline test::TempFolder* folder;
  static inline TestCertificateAuthority* productAuthority;
  static inline TestCertificateAuthority* plainAuthority;
  static inline TestCertificateAuthority* strangerAuthority;
  static inline test::ScopedEnvironmentVariable* trust;
};

TEST_F(HTTPSecurePOSTTest, PostsTheQueryAsBodyToTheURLWithoutIt) {
  auto server = serverSignedBy(*productAuthority);

  auto data = HTTPSecurePOST().downloadURLWithSecurePOST(test::parsedURL(server->url("/cgi-bin/x.cgi?a=1&b=2")), 5);

  EXPECT_EQ(test::text(data), "a=1&b=2");
  auto seen = server->requests("/cgi-bin/x.cgi").at(0);
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.target, "/cgi-bin/x.cgi");
  EXPECT_EQ(seen.body, "a=1&b=2");
  EXPECT_EQ(seen.header("Content-Type"), "application/x-www-form-urlencoded");
}

TEST_F(HTTPSecurePOSTTest, BodyIsTheQueryAsWrittenAndEmptyWithoutOne) {
  auto server = serverSignedBy(*productAuthority);
  struct Case {
    std::string pathAndQuery;
    std::string body;
  };
  const Case cases[] = {{"/cgi-bin/x.cgi?q=1%2B1&c=com.example.app", "q=1%2B1&c=com.example.app"},
                        {"/cgi-bin/x.cgi", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pathAndQuery);
    EXPECT_EQ(test::text(HTTPSecurePOST().downloadURLWithSecurePOST(test::parsedURL(server->url(c.pathAndQuery)), 5)), c.body);
    EXPECT_EQ(server->requests("/cgi-bin/x.cgi").back().body, c.body);
  }
}

TEST_F(HTTPSecurePOSTTest, RefusesServersThatFailTheChainOrTheIssuer) {
  ASSERT_FALSE(ServerIssuerCheck::issuerNameCarriesWord("Loopback Plain Authority", build::kServerIssuerWord));
  struct Case {
    const char* name;
    std::unique_ptr<LoopbackServer> server;
    bool trustedChain;
  };
  Case cases[] = {
      {"trusted chain, issuer without the word", serverSignedBy(*plainAuthority), true},
      {"issuer with the word, untrusted chain", serverSignedBy(*strangerAuthority), false},
      {"issuer with the word, certificate for another host", serverSignedBy(*productAuthority, {"elsewhere.test"}, {}),
       false},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    URL url = test::parsedURL(c.server->url("/cgi-bin/x.cgi?a=1"));
    EXPECT_EQ(HTTPSecurePOST().downloadURLWithSecurePOST(url, 5), std::nullopt);
    EXPECT_EQ(c.server->requestCount("/cgi-bin/x.cgi"), 0);  // refused before the form went out
    // The plain POST checks the chain only.
    EXPECT_EQ(performBlockingPOST(url, 5).has_value(), c.trustedChain);
  }
}

TEST_F(HTTPSecurePOSTTest, StatusOtherThan200GivesNothing) {
  auto server = serverSignedBy(*productAuthority);
  server->on("/cgi-bin/fail.cgi", ScriptedResponse::text(502, "Bad Gateway"));
  EXPECT_EQ(HTTPSecurePOST().downloadURLWithSecurePOST(test::parsedURL(server->url("/cgi-bin/fail.cgi?a=1")), 5), std::nullopt);
}

TEST_F(HTTPSecurePOSTTest, CallbackFormReturnsAtOnceAndCompletesElsewhere) {
  auto good = serverSignedBy(*productAuthority);
  auto refused = serverSignedBy(*plainAuthority);
  struct Outcome {
    Semaphore done;
    std::optional<std::string> data;
    std::thread::id thread;
  };
  for (auto* server : {good.get(), refused.get()}) {
    auto outcome = std::make_shared<Outcome>();
    HTTPSecurePOST().downloadURLWithSecurePOST(test::parsedURL(server->url("/cgi-bin/x.cgi?k=v")), 5, [outcome](std::optional<Bytes> data) {
      outcome->data = test::text(data);
      outcome->thread = std::this_thread::get_id();
      outcome->done.signal();
    });
    ASSERT_TRUE(outcome->done.waitFor(10.0));
    EXPECT_NE(outcome->thread, std::this_thread::get_id());
    EXPECT_EQ(outcome->data, server == good.get() ? std::optional<std::string>("k=v") : std::nullopt);
  }
}

TEST_F(HTTPSecurePOSTTest, SilentServerEndsOnTheTimeout) {
  auto server = serverSignedBy(*productAuthority);
  server->on("/cgi-bin/silent.cgi", ScriptedResponse::silence());
  test::Stopwatch clock;
  EXPECT_EQ(HTTPSecurePOST().downloadURLWithSecurePOST(test::parsedURL(server->url("/cgi-bin/silent.cgi?a=1")), 1), std::nullopt);
  EXPECT_LT(clock.seconds(), 10.0);
}

}  // namespace
}  // namespace vantor
