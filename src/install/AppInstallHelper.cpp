#include "install/AppInstallHelper.h"

#include <mutex>
#include <utility>

#include "foundation/Assert.h"
#include "foundation/Dispatch.h"
#include "foundation/Format.h"
#include "install/InstallAttempt.h"
#include "sources/SparkleFeedParser.h"

namespace vantor {

namespace {

std::mutex providerLock;
AppInstallHelper::AbortAppInfosProvider abortAppInfosProvider;

std::shared_ptr<AbortAppInfos> currentAbortAppInfos() {
  AppInstallHelper::AbortAppInfosProvider provider;
  {
    std::lock_guard<std::mutex> guard(providerLock);
    provider = abortAppInfosProvider;
  }
  return provider ? provider() : nullptr;
}

// The newest usable item's download URL of the entry's feed, if the entry has a feed.
std::optional<std::string> feedDownloadURL(const ConfigFileEntry& entry) {
  if (!entry.hasValidFeedURL()) return std::nullopt;
  std::optional<std::string> userAgent;
  if (auto agent = entry.shouldUseCustomUserAgentForFeed(); agent && !agent->is_null())
    userAgent = agent->is_string() ? agent->get<std::string>() : describe(*agent);
  auto parser = sources::SparkleFeedParser::initWithFeedURL(entry.feedURL()->get<std::string>(), userAgent);
  if (!parser || !parser->newestItemForCurrentOS()) return std::nullopt;
  return parser->newestItemForCurrentOS()->downloadURL();
}

// Endings of the feed attempt after which the cask is not tried: success, an installer
// handed over, and the user's own choices.
bool isFinalFeedResult(const std::optional<Error>& result) {
  if (!result) return true;
  switch (result->code) {
    case kErrorInstallOnlyInstaller:
    case kErrorInstallAborted:
    case kErrorInstallAuthorizationCanceled:
    case kErrorInstallAuthorizationDenied:
      return true;
    default:
      return false;
  }
}

}  // namespace

void AppInstallHelper::setAbortAppInfosProvider(AbortAppInfosProvider provider) {
  std::lock_guard<std::mutex> guard(providerLock);
  abortAppInfosProvider = std::move(provider);
}

std::optional<Error> AppInstallHelper::installApp(const std::string& bundleIdentifier, const ConfigFile& configFile,
                                                  const std::string& directory,
                                                  std::optional<std::string>* finalPath) {
  VANTOR_ASSERT(!isMainThread());
  ConfigFileEntry entry = configFile.entryForBundleIdentifier(bundleIdentifier);

  auto sparkleDownloadURL = feedDownloadURL(entry);
  if (!sparkleDownloadURL) return installApp(bundleIdentifier, configFile, std::nullopt, false, directory, finalPath);

  auto feedResult = installApp(bundleIdentifier, configFile, sparkleDownloadURL, true, directory, finalPath);
  if (isFinalFeedResult(feedResult)) return feedResult;
  auto caskResult = installApp(bundleIdentifier, configFile, sparkleDownloadURL, false, directory, finalPath);
  if (!caskResult) return std::nullopt;
  // No cask, or the cask offers what already failed: the feed attempt's error tells more.
  if (caskResult->code == kErrorInstallNoMapping || caskResult->code == kErrorInstallAlreadyTriedURL)
    return feedResult;
  return caskResult;
}

std::optional<Error> AppInstallHelper::installApp(const std::string& bundleIdentifier, const ConfigFile& configFile,
                                                  const std::optional<std::string>& sparkleDownloadURL,
                                                  bool useSparkleURL, const std::string& directory,
                                                  std::optional<std::string>* finalPath) {
  detail::InstallAttempt attempt(bundleIdentifier, configFile, sparkleDownloadURL, useSparkleURL, directory,
                                 finalPath, currentAbortAppInfos());
  return attempt.run();
}

}  // namespace vantor
