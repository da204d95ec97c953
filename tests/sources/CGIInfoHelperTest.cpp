// The release-date query and the catalog download against a loopback HTTPS server whose
// certificate authority carries the product server's issuer word.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/FileHelpers.h"
#include "foundation/StringHelpers.h"
#include "foundation/ZRHostInformation.h"
#include "sources/CGIInfoHelper.h"
#include "sources/ProductServer.h"
#include "support/LoopbackServer.h"
#include "support/ScopedEnvironmentVariable.h"
#include "support/TrustedCertificateAuthority.h"
#include "support/TestSupport.h"
#include "vantor/BuildSettings.h"

namespace vantor {
namespace {

using test::LoopbackServer;
using test::ScriptedResponse;

struct Event {
  long code;
  Json info;
};

class CGIInfoHelperTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    trusted = new test::TrustedCertificateAuthority("Loopback " + rot13(build::kServerIssuerWord).value() + " CA");
  }
  static void TearDownTestSuite() { delete trusted; }

  void SetUp() override {
    server_ = LoopbackServer::startHTTPS(trusted->issueServerIdentity());
    host_ = std::make_unique<test::ScopedEnvironmentVariable>("VANTOR_PRODUCT_SERVER",
                                                              "localhost:" + std::to_string(server_->port()));
    CGIInfoHelper::setErrorEventObserverForTesting([this](long code, const std::optional<Json>& info) {
      events_.push_back({code, info.value_or(Json())});
    });
  }
  void TearDown() override {
    CGIInfoHelper::setErrorEventObserverForTesting(nullptr);
    EXPECT_TRUE(server_->unexpectedRequests().empty());
  }

  void answer(ScriptedResponse response) { server_->on(ProductServer::kReceiveDatePath, std::move(response)); }

  static inline test::TrustedCertificateAuthority* trusted;
  std::unique_ptr<LoopbackServer> server_;
  std::unique_ptr<test::ScopedEnvironmentVariable> host_;
  std::vector<Event> events_;
};

TEST_F(CGIInfoHelperTest, QuerySendsCleanedIdentifierChecksumAndStrippedVersions) {
  answer(ScriptedResponse::text(200, R"([{"Path1":"/Applications/Old.app"},{"Path1":"/Applications/My App.app"}])"));
  auto result = CGIInfoHelper::receiveDateForApp("com.example.My;App&", "2.0.0", "1.10.0");
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->back()["Path1"], "/Applications/My App.app");

  auto requests = server_->requests(ProductServer::kReceiveDatePath);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  std::string expected = "c=com.example.MyApp&s=" + CGIInfoHelper::releaseDateChecksum("com.example.MyApp") +
                         "&i=" + std::string(build::kBundleVersion) +
                         "&x=" + SHA1(ZRHostInformation::macAddress()) + "&v=2&b=1.10";
  EXPECT_EQ(requests[0].body, expected);
  EXPECT_TRUE(events_.empty());
}

TEST_F(CGIInfoHelperTest, EmptyVersionsAndPlusSigns) {
  answer(ScriptedResponse::text(200, "[]"));
  EXPECT_EQ(CGIInfoHelper::receiveDateForApp("com.example.a+b", "", ""), Json::array());
  auto requests = server_->requests(ProductServer::kReceiveDatePath);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_TRUE(hasPrefix(requests[0].body, "c=com.example.a%2Bb&s="));
  EXPECT_TRUE(hasSuffix(requests[0].body, "&v=&b="));
}

// The checksum is what the server recomputes; with the build's default settings it is
// fixed text, worked out by hand here.
TEST_F(CGIInfoHelperTest, ChecksumFollowsTheTemplate) {
  if (std::string(build::kDateChecksumTemplate) != "vantor-date:%@:%@:%li:%li:%li" ||
      build::kDateChecksumDotFactor != 37 || std::string(build::kDateChecksumLetters) != "aeor" ||
      build::kDateChecksumMask != 1024)
    GTEST_SKIP() << "the build sets its own checksum values";
  // "com.example.MyApp": 2 dots, letters o, e, a, e (the capital A does not count).
  EXPECT_EQ(CGIInfoHelper::releaseDateChecksum("com.example.MyApp"),
            SHA1("vantor-date:com.example.MyApp:MyApp:74:4:1028"));
  EXPECT_EQ(CGIInfoHelper::releaseDateChecksum("nodots"), SHA1("vantor-date:nodots:nodots:0:2:1026"));
  EXPECT_EQ(CGIInfoHelper::releaseDateChecksum("com.example.MyApp").size(), 40u);
}

TEST_F(CGIInfoHelperTest, ServerTroubleAndEmptyAnswersGiveNothingQuietly) {
  const char* bodies[] = {
      "<html><title>502 Bad Gateway</title></html>",
      "BAD GATEWAY",
      "Traceback: pymysql.err.OperationalError: (2003, \"Can't connect\")",
      "pymysql.err.InternalError: Packet sequence number wrong",
      "",
  };
  for (const char* body : bodies) {
    answer(ScriptedResponse::text(200, body));
    EXPECT_EQ(CGIInfoHelper::receiveDateForApp("com.example.app", "1", "1"), std::nullopt) << body;
  }
  EXPECT_TRUE(events_.empty());
}

TEST_F(CGIInfoHelperTest, UnexpectedAnswerRaisesEvent103) {
  answer(ScriptedResponse::text(200, R"({"Path1":"/Applications/X.app"})"));
  EXPECT_EQ(CGIInfoHelper::receiveDateForApp("com.example.X&y", "1", "1"), std::nullopt);
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].code, 103);
  EXPECT_EQ(events_[0].info["unsaveBID"], "com.example.X&y");
  EXPECT_EQ(events_[0].info["jsonData.string"], R"({"Path1":"/Applications/X.app"})");
  EXPECT_EQ(events_[0].info["info"], "date_cgi");
  EXPECT_TRUE(hasPrefix(events_[0].info["url.absoluteString"].get<std::string>(),
                        "https://localhost:" + std::to_string(server_->port()) + "/cgi-bin/receive_date.cgi?c=com.example.Xy&s="));
}

TEST_F(CGIInfoHelperTest, FailedRequestGivesNothingQuietly) {
  answer(ScriptedResponse::text(500, "[]"));
  EXPECT_EQ(CGIInfoHelper::receiveDateForApp("com.example.app", "1", "1"), std::nullopt);
  EXPECT_TRUE(events_.empty());
}

TEST_F(CGIInfoHelperTest, CatalogDownloadGetsTheBytes) {
  std::string bytes("\xBE\xBA\xAF\xDE catalog bytes", 18);
  server_->on(ProductServer::kConfigFilePath, ScriptedResponse::text(200, bytes));
  auto data = CGIInfoHelper::downloadConfigFile();
  ASSERT_TRUE(data.has_value());
  EXPECT_EQ(std::string(data->begin(), data->end()), bytes);
  auto requests = server_->requests(ProductServer::kConfigFilePath);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
}

}  // namespace
}  // namespace vantor
