#pragma once
// Asks where a URL redirects to without following it: the header fields of the first
// redirect response (301, 302, 303, 307 or 308 with a Location), or nothing when none
// came within timeout + 0.1 seconds. A URL that does not redirect therefore always costs
// the whole wait.

#include <optional>
#include <string>

#include "download/URLRequest.h"

namespace vantor {

class HTTPRedirectChecker {
 public:
  std::optional<HTTPHeaderFields> checkRedirectHeader(const URL& url, double timeout);
};

}  // namespace vantor
