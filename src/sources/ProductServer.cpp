#include "sources/ProductServer.h"

#include "foundation/Format.h"
#include "foundation/StringHelpers.h"
#include "platform/Environment.h"
#include "vantor/BuildSettings.h"

namespace vantor {

namespace {

std::string hostSetting(const char* variable, const char* builtIn) {
  auto value = platform::environmentValue(variable);
  if (value && !value->empty()) return *value;
  return builtIn;
}

}  // namespace

std::string ProductServer::productServerHost() {
  return hostSetting("VANTOR_PRODUCT_SERVER", build::kProductServerHost);
}

std::string ProductServer::makerHost() { return hostSetting("VANTOR_MAKER_HOST", build::kMakerHost); }

std::string ProductServer::caskHost() { return hostSetting("VANTOR_CASK_HOST", build::kCaskHost); }

std::string ProductServer::serverIssuerWord() { return build::kServerIssuerWord; }

std::string ProductServer::iconPath(std::string_view bundleIdentifier) {
  return makeString(kIconPathFormat, bundleIdentifier);
}

std::string ProductServer::makerCaskPath(std::string_view caskName) {
  return makeString(kMakerCaskPathFormat, caskName);
}

bool ProductServer::isServerTroubleAnswer(std::string_view answer) {
  return containsIgnoringCase(answer, "bad gateway") || contains(answer, "pymysql.err.OperationalError") ||
         contains(answer, "pymysql.err.InternalError");
}

}  // namespace vantor
