#pragma once
// The client of the product's CGI server, and the one sink for diagnostic error events.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/Bytes.h"
#include "foundation/Json.h"

namespace vantor {

class CGIInfoHelper {
 public:
  // Asks the product's server about one application (versions may be empty) and returns
  // its answer, a JSON array of records; nothing for no answer, an answer that is not an
  // array, or server trouble. An unexpected answer is reported as error event 103.
  // Blocks for up to 5 seconds.
  static std::optional<Json> receiveDateForApp(std::string_view bundleIdentifier, std::string_view shortVersion,
                                               std::string_view bundleVersion);

  // The bytes of the current catalog file from the product's server, unchecked (the
  // catalog update checks them); nothing when none arrived.
  static std::optional<Bytes> downloadConfigFile();

  // The request checksum (key s) for a cleaned bundle identifier: the SHA-1 of the
  // build's checksum template filled with the identifier, its last dot component, its dot
  // count times the dot factor, its count of the four letters, and that count OR the mask.
  static std::string releaseDateChecksum(std::string_view cleanedIdentifier);

  // Takes an error event (its number and info dictionary) and discards it: nothing is
  // recorded, shown or sent.
  static void collectErrorEvent(long code, const std::optional<Json>& info);

  // Test-only: lets a test see the events that would otherwise vanish; an empty function
  // stops it. The shipped program never sets one.
  using ErrorEventObserver = std::function<void(long code, const std::optional<Json>& info)>;
  static void setErrorEventObserverForTesting(ErrorEventObserver observer);
};

}  // namespace vantor
