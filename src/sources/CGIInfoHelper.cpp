#include "sources/CGIInfoHelper.h"

#include <mutex>

namespace vantor {
namespace {

std::mutex observerMutex;
CGIInfoHelper::ErrorEventObserver& observer() {
  static auto* current = new CGIInfoHelper::ErrorEventObserver();
  return *current;
}

}  // namespace

void CGIInfoHelper::collectErrorEvent(long code, const std::optional<Json>& info) {
  ErrorEventObserver seen;
  {
    std::lock_guard lock(observerMutex);
    seen = observer();
  }
  if (seen) seen(code, info);
}

void CGIInfoHelper::setErrorEventObserverForTesting(ErrorEventObserver newObserver) {
  std::lock_guard lock(observerMutex);
  observer() = std::move(newObserver);
}

}  // namespace vantor
