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
std::optional<std::vector<std::string>> gLanguages;
}  // namespace

std::string caskHost() { return platform::environmentValue("VANTOR_CASK_HOST").value_or(build::kCaskHost); }
std::string makerHost() { return platform::environmentValue("VANTOR_MAKER_HOST").value_or(build::kMakerHost); }

std::vector<std::string> preferredLanguages2Letter() {
  std::lock_guard lock(gMutex);
  return gLanguages.value_or(std::vector<std::string>{});
}

void collectErrorEvent(long code, const Json& info) {
  std::lock_guard lock(gMutex);
  if (gObserver) gObserver(code, info);
}

void terminateForFullDisk() {
  cc_log_error("Vantor was unable to operate because your boot disk is completely full. Please ensure that you have some free space before launching Vantor again.");
  std::exit(1);
}

void setEventObserverForTesting(EventObserver observer) {
  std::lock_guard lock(gMutex);
  gObserver = std::move(observer);
}

void setPreferredLanguagesForTesting(std::vector<std::string> languages) {
  std::lock_guard lock(gMutex);
  gLanguages = std::move(languages);
}

}  // namespace vantor::services
