// Casks fetched from a loopback HTTPS server standing in for the cask hosts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CaskRubyReference.h"
#include "foundation/StringHelpers.h"
#include "sources/CGIInfoHelper.h"
#include "sources/CaskHelper.h"
#include "sources/CaskScript.h"
#include "support/LoopbackServer.h"
#include "support/ScopedEnvironmentVariable.h"
#include "support/TrustedCertificateAuthority.h"
#include "support/TestSupport.h"

namespace vantor {
namespace {

using test::LoopbackServer;
using test::ScriptedResponse;

struct Event {
  long code;
  Json info;
};

constexpr const char* kCaskPath = "/caskroom/homebrew-cask/master/Casks/foo.rb";

const char* kFooCask = R"(cask 'foo' do
  version '3.2.1,2019.04:b7'
  sha256 'aa11bb22'

  url "https://dl.example.com/foo/#{version.after_comma.before_colon}/Foo-#{version.before_comma.dots_to_hyphens}-#{version.after_colon}.dmg"
  appcast 'https://example.com/foo/appcast.xml'
  name 'Foo'
  homepage 'https://example.com/foo/'

  depends_on macos: '>= :sierra'

  app 'Foo.app'
end
)";

class CaskDownloadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    trusted = new test::TrustedCertificateAuthority("Loopback Cask Host CA");
  }
  static void TearDownTestSuite() { delete trusted; }

  void SetUp() override {
    server_ = LoopbackServer::startHTTPS(trusted->issueServerIdentity());
    std::string host = "localhost:" + std::to_string(server_->port());
    caskHost_ = std::make_unique<test::ScopedEnvironmentVariable>("VANTOR_CASK_HOST", host);
    makerHost_ = std::make_unique<test::ScopedEnvironmentVariable>("VANTOR_MAKER_HOST", host);
    CGIInfoHelper::setErrorEventObserverForTesting([this](long code, const std::optional<Json>& info) {
      events_.push_back({code, info.value_or(Json())});
    });
  }
  void TearDown() override {
    CGIInfoHelper::setErrorEventObserverForTesting(nullptr);
    EXPECT_TRUE(server_->unexpectedRequests().empty());
  }

  static std::optional<std::string> download(const std::string& name) {
    return CaskHelper::downloadCaskfile(name, 10, 2, 0.05);
  }

  static inline test::TrustedCertificateAuthority* trusted;
  std::unique_ptr<LoopbackServer> server_;
  std::unique_ptr<test::ScopedEnvironmentVariable> caskHost_;
  std::unique_ptr<test::ScopedEnvironmentVariable> makerHost_;
  std::vector<Event> events_;
};

TEST_F(CaskDownloadTest, FetchedCaskGivesTheURLThatRubyGives) {
  server_->on(kCaskPath, ScriptedResponse::text(200, kFooCask));
  auto cask = download("foo");
  ASSERT_EQ(cask, kFooCask);

  auto rubyURL = testing_support::rubyEvaluatedCaskURL(*cask);
  ASSERT_TRUE(rubyURL.has_value());
  EXPECT_EQ(*rubyURL, "https://dl.example.com/foo/2019.04/Foo-3-2-1-b7.dmg");
  std::optional<Error> error;
  EXPECT_EQ(CaskHelper::getDownloadURLFromCaskfile(*cask, "com.example.foo", &error), *rubyURL);
  EXPECT_FALSE(error);

  EXPECT_EQ(CaskHelper::getAppnameFromCaskfile(*cask), "Foo");
  EXPECT_EQ(CaskHelper::getSHA256FromCaskfile(*cask), "aa11bb22");
  EXPECT_EQ(CaskHelper::getOSRequirementFromCaskfile(*cask), 12);
  EXPECT_EQ(CaskHelper::getHomepageURLFromCaskfile(*cask), "https://example.com/foo/");
  EXPECT_EQ(CaskHelper::getAppcastURLFromCaskfile(*cask), "https://example.com/foo/appcast.xml");
  EXPECT_TRUE(events_.empty());
}

TEST_F(CaskDownloadTest, MakerCasksComeFromTheMakersHost) {
  server_->on("/vantor/casks/foo.rb", ScriptedResponse::text(200, kFooCask));
  EXPECT_EQ(download("$foo"), kFooCask);
}

TEST_F(CaskDownloadTest, NotACaskIsRetriedThenGivesNothing) {
  server_->on(kCaskPath, ScriptedResponse::text(200, "<html>\n<body>\nRate limited\n</body>\n</html>\n"));
  EXPECT_EQ(download("foo"), std::nullopt);
  EXPECT_EQ(server_->requestCount(kCaskPath), 3);
}

TEST_F(CaskDownloadTest, GluedCasksAreCutToTheFirstWithEvent205) {
  std::string glued = std::string("# mirror header\n") + kFooCask + "cask 'bar' do\n  version '1'\nend\n";
  server_->onSequence(kCaskPath, {ScriptedResponse::text(404, "no"), ScriptedResponse::text(200, glued)});
  auto cask = download("foo");
  ASSERT_TRUE(cask.has_value());
  EXPECT_EQ(*cask, kFooCask);
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].code, 205);
  EXPECT_EQ(events_[0].info["retryCount"], 1);
  EXPECT_EQ(events_[0].info["caskfileContents"], glued);
  EXPECT_TRUE(events_[0].info["mt"].is_string());
  EXPECT_FALSE(events_[0].info["symbols"].get<std::string>().empty());
}

TEST_F(CaskDownloadTest, OneCaskOpeningIsKeptWhole) {
  std::string withComment = std::string("# mirrored from the main repository\n") + kFooCask;
  server_->on(kCaskPath, ScriptedResponse::text(200, withComment));
  EXPECT_EQ(download("foo"), withComment);
  EXPECT_TRUE(events_.empty());
}

}  // namespace
}  // namespace vantor
