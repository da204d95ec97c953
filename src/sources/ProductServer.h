#pragma once
// The one place that knows the maker's servers: the product's server (CGI programs and
// icons), the maker's web host (cask mirror) and the public raw-file host of the cask
// repositories, with the paths of their endpoints. Hosts are build-time settings that
// VANTOR_PRODUCT_SERVER, VANTOR_MAKER_HOST and VANTOR_CASK_HOST override ("host[:port]"),
// so tests and the demo can point them at loopback servers.

#include <string>
#include <string_view>

namespace vantor {

class ProductServer {
 public:
  // Release-date and name query: HTTPS form POST, answer a JSON array.
  static constexpr const char* kReceiveDatePath = "/cgi-bin/receive_date.cgi";
  // Application icon: HTTPS GET of "/cgi-bin/icons/<bundle identifier>.png".
  static constexpr const char* kIconPathFormat = "/cgi-bin/icons/%@.png";
  // Catalog update: the bytes of a signed catalog file.
  static constexpr const char* kConfigFilePath = "/cgi-bin/configfile.cgi";
  // The maker's mirror of cask files, for cask names that begin with "$".
  static constexpr const char* kMakerCaskPathFormat = "/vantor/casks/%@.rb";

  // "host[:port]" of each server; an override that is set but empty is ignored.
  static std::string productServerHost();
  static std::string makerHost();
  static std::string caskHost();

  // The word the issuer of the product server's certificate must carry.
  static std::string serverIssuerWord();

  static std::string iconPath(std::string_view bundleIdentifier);
  static std::string makerCaskPath(std::string_view caskName);

  // An answer of the release-date endpoint that means server trouble rather than data:
  // "bad gateway" in any case, or the database driver's operational or internal error.
  static bool isServerTroubleAnswer(std::string_view answer);
};

}  // namespace vantor
