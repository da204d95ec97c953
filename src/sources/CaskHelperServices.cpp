#include "sources/CaskHelperServices.h"

#include <cstdlib>
#include <mutex>
#include <optional>

#include "foundation/Log.h"
#include "platform/Environment.h"
#include "vantor/BuildSettings.h"

namespace vantor::services {

namespace {
std::mutex gMutex;
EventObserver gObserver;
}  // namespace

std::string caskHost() { return platform::environmentValue("VANTOR_CASK_HOST").value_or(build::kCaskHost); }
std::string makerHost() { return platform::environmentValue("VANTOR_MAKER_HOST").value_or(build::kMakerHost); }

void collectErrorEvent(long code, const Json& info) {
  std::lock_guard lock(gMutex);
  if (gObserver) gObserver(code, info);
}

void setEventObserverForTesting(EventObserver observer) {
  std::lock_guard lock(gMutex);
  gObserver = std::move(observer);
}

}  // namespace vantor::services
