#pragma once
// Posts a form to the product's server: the URL's query becomes the body
// ("application/x-www-form-urlencoded", sent as written) of a POST to the same URL
// without its query. The server is accepted only when its chain and host name verify
// against the system's trust store (plus the authorities in VANTOR_CA_BUNDLE) and its
// certificate's issuer carries the expected word (ServerIssuerCheck). Any failure, a
// refused server or a status other than 200 gives nothing. timeout limits inactivity.

#include <functional>
#include <optional>
#include <string>

#include "download/URLRequest.h"
#include "foundation/Bytes.h"
#include "foundation/URL.h"

namespace vantor {

class HTTPSecurePOST {
 public:
  using CompletionBlock = std::function<void(std::optional<Bytes> data)>;

  // Blocks until the transfer ends.
  std::optional<Bytes> downloadURLWithSecurePOST(const URL& url, double timeout);
  // Returns at once; the completion (when set) runs later on the transfer's own thread.
  void downloadURLWithSecurePOST(const URL& url, double timeout, CompletionBlock completionBlock);

  // The form request for url: its query as body, POST, the form content type; the
  // default time limit.
  static URLRequest formRequest(const URL& url);
};

}  // namespace vantor
