#pragma once
// Puts a new application bundle at its destination in place of an old one, with the
// rights of the user (AppReplacement tells what holds after a failure or a crash).

#include <functional>
#include <optional>
#include <string>

#include "foundation/Error.h"

namespace vantor::install {

inline constexpr const char* kSUSparkleErrorDomain = "SUSparkleErrorDomain";
inline constexpr long kSUInstallationPathsError = 4005;

class ZRSUPlainInstaller {
 public:
  // appURL: the bundle to replace; updateURL: the new bundle; progressBlock (may be
  // empty) receives 0.1 ... 1.0. True on success; otherwise *error (when given) says why.
  static bool updateAppAtURL(const std::optional<std::string>& appURL, const std::string& destinationAppURL,
                             const std::optional<std::string>& updateURL,
                             const std::function<void(double)>& progressBlock, Error* error);
};

}  // namespace vantor::install
