#include <gtest/gtest.h>
#include <stdlib.h>

#include "sources/ProductServer.h"
#include "vantor/BuildSettings.h"

namespace vantor {
namespace {

struct HostCase {
  const char* variable;
  std::string (*host)();
  const char* builtIn;
};

TEST(ProductServerTest, HostsComeFromTheBuildUnlessTheEnvironmentOverridesThem) {
  const HostCase kCases[] = {
      {"VANTOR_PRODUCT_SERVER", &ProductServer::productServerHost, build::kProductServerHost},
      {"VANTOR_MAKER_HOST", &ProductServer::makerHost, build::kMakerHost},
      {"VANTOR_CASK_HOST", &ProductServer::caskHost, build::kCaskHost},
  };
  for (const auto& c : kCases) {
    unsetenv(c.variable);
    EXPECT_EQ(c.host(), c.builtIn) << c.variable;
    setenv(c.variable, "127.0.0.1:8443", 1);
    EXPECT_EQ(c.host(), "127.0.0.1:8443") << c.variable;
    setenv(c.variable, "", 1);
    EXPECT_EQ(c.host(), c.builtIn) << c.variable;
    unsetenv(c.variable);
  }
}

TEST(ProductServerTest, EndpointPaths) {
  EXPECT_EQ(ProductServer::iconPath("com.example.App"), "/cgi-bin/icons/com.example.App.png");
  EXPECT_EQ(ProductServer::makerCaskPath("$example"), "/vantor/casks/$example.rb");
  EXPECT_STREQ(ProductServer::kReceiveDatePath, "/cgi-bin/receive_date.cgi");
  EXPECT_STREQ(ProductServer::kConfigFilePath, "/cgi-bin/configfile.cgi");
}

TEST(ProductServerTest, ServerTroubleAnswers) {
  const std::pair<const char*, bool> kCases[] = {
      {"<html>502 Bad Gateway</html>", true},
      {"BAD GATEWAY", true},
      {"pymysql.err.OperationalError: (2003, ...)", true},
      {"pymysql.err.InternalError", true},
      {"pymysql.err.operationalerror", false},
      {"[{\"Path1\":null}]", false},
      {"", false},
  };
  for (const auto& [answer, trouble] : kCases) EXPECT_EQ(ProductServer::isServerTroubleAnswer(answer), trouble) << answer;
}

}  // namespace
}  // namespace vantor
