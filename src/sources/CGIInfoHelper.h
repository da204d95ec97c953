#pragma once
// The client of the product's CGI server, and the one sink for diagnostic error events.

#include <functional>
#include <optional>

#include "foundation/Json.h"

namespace vantor {

class CGIInfoHelper {
 public:
  // Takes an error event (its number and info dictionary) and discards it: nothing is
  // recorded, shown or sent.
  static void collectErrorEvent(long code, const std::optional<Json>& info);

  // Test-only: lets a test see the events that would otherwise vanish; an empty function
  // stops it. The shipped program never sets one.
  using ErrorEventObserver = std::function<void(long code, const std::optional<Json>& info)>;
  static void setErrorEventObserverForTesting(ErrorEventObserver observer);
};

}  // namespace vantor
