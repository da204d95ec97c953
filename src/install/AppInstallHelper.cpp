#include "install/AppInstallHelper.h"

#include <mutex>
#include <utility>

namespace vantor {

namespace {
std::mutex providerLock;
AppInstallHelper::AbortAppInfosProvider abortAppInfosProvider;
}  // namespace

void AppInstallHelper::setAbortAppInfosProvider(AbortAppInfosProvider provider) {
  std::lock_guard<std::mutex> guard(providerLock);
  abortAppInfosProvider = std::move(provider);
}

}  // namespace vantor
