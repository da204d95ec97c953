// Request resolution: one accepted link becomes a confirmed install request, a refusal,
// or the end of the process. Runs on the main thread in one pass; its network requests
// (cask file, feed, name query) block until they end, each bounded by its own limits.
#include <map>

#include "catalog/ConfigFile.h"
#include "catalog/ConfigFileEntry.h"
#include "download/HTTPRetryingDownloader.h"
#include "foundation/Alerts.h"
#include "foundation/DataHelpers.h"
#include "foundation/Localization.h"
#include "foundation/Log.h"
#include "foundation/StringHelpers.h"
#include "foundation/URL.h"
#include "foundation/UserDefaultsHelpers.h"
#include "foundation/ZRHostInformation.h"
#include "platform/RunLoop.h"
#include "shell/AppDelegate.h"
#include "sources/CGIInfoHelper.h"
#include "sources/CaskHelper.h"
#include "sources/SparkleFeedParser.h"

namespace vantor {

namespace {

constexpr const char* kLinkPrefix = "vantor://";
// The cask file must come quickly or not at all: the user waits for the confirmation.
constexpr double kCaskTimeout = 1.0;
constexpr int kCaskRetries = 1;
constexpr double kCaskWaitingTime = 1.0;

// A catalog value that should be text; anything else is logged and counts as absent.
std::optional<std::string> textValue(const std::optional<Json>& value, const char* what,
                                     const std::string& bundleIdentifier) {
  if (!value) return std::nullopt;
  if (value->is_string()) return value->get<std::string>();
  cc_log_error("Warning: handleURL: the catalog's %@ for %@ is not text (%@); it is not used", what,
               bundleIdentifier, describe(*value));
  return std::nullopt;
}

// The cask file's text when it arrived within the request's limits.
std::optional<std::string> downloadCaskfile(const std::string& caskName) {
  std::string address = CaskHelper::getCaskURLForCaskname(caskName);
  auto url = URL::parse(address);
  if (!url) {
    cc_log_error("Error: handleURL: the cask URL %@ can not be used", address);
    return std::nullopt;
  }
  HTTPRetryingDownloader downloader;
  auto data = downloader.downloadURL(*url, kCaskTimeout, kCaskRetries, kCaskWaitingTime,
                                     [](const Bytes& bytes) { return AppDelegate::isCaskfileDownload(bytes); });
  if (!data) {
    cc_log_error("Warning: handleURL: no cask file from %@", address);
    return std::nullopt;
  }
  return stringUTF8(std::string_view(reinterpret_cast<const char*>(data->bytes.data()), data->bytes.size()));
}

std::optional<std::string> downloadURLFromFeed(const std::string& feedURL, const std::optional<std::string>& userAgent) {
  auto parser = sources::SparkleFeedParser::initWithFeedURL(feedURL, userAgent);
  if (!parser || !parser->newestItemForAnyOS()) {
    cc_log_error("Warning: handleURL: no usable feed at %@", feedURL);
    return std::nullopt;
  }
  return parser->newestItemForAnyOS()->downloadURL();
}

}  // namespace

bool AppDelegate::isCaskfileDownload(const Bytes& data) {
  if (data.empty()) return false;
  std::string_view raw(reinterpret_cast<const char*>(data.data()), data.size());
  auto text = stringFromData(raw);
  if (!text || split(*text, "\n").size() < 6) return false;
  auto utf8 = stringUTF8(raw);
  return utf8 && contains(*utf8, "cask") && contains(*utf8, "end");
}

std::optional<std::string> AppDelegate::nameFromReceiveDateAnswer(const std::optional<Json>& answer) {
  Json record = Json::object();
  if (answer && answer->is_array() && !answer->empty()) record = answer->back();

  std::vector<std::string> names;
  for (const char* key : {"Path1", "Path2", "Path3", "Path4"}) {
    Json value = "";
    if (record.is_object()) {
      if (auto it = record.find(key); it != record.end()) value = *it;
    }
    if (value.is_null()) continue;
    if (!value.is_string()) {
      cc_log_error("Warning: handleURL: %@ of the name query is not text (%@); it is not used", key, describe(value));
      continue;
    }
    std::string path = value.get<std::string>();
    size_t slash = path.rfind('/');
    std::string component = slash == std::string::npos ? path : path.substr(slash + 1);
    names.push_back(stringByDeletingPathExtension(component));
  }

  // The most frequent name; among equals the one seen first.
  std::map<std::string, int> counts;
  std::optional<std::string> best;
  int bestCount = 0;
  for (const auto& name : names) {
    int count = ++counts[name];
    if (count > bestCount) {
      bestCount = count;
      best = name;
    }
  }
  return best;
}

void AppDelegate::handleURL(const std::optional<std::string>& link) {
  if (!checkConfigFile()) return;
  cc_log("Info: handleURL: %@", link);

  if (!link || !link->starts_with(kLinkPrefix)) {
    cc_log_error("Error: handleURL: the link does not begin with %@", kLinkPrefix);
    alert("Error", "fatal error please reinstall Vantor", "ok");
    platform::exitProcess(1);
  }
  if (isInstalling()) {
    alert("Installation In Progress",
          localized("Sorry, at the moment you can only install one at at a time. Please wait until this installation "
                    "is finished before starting the next one."),
          "OK");
    return;
  }
  if (!ZRHostInformation::isOnline()) {
    alert("Computer Offline",
          localized("Sorry, at the moment your Mac is not connected to the Internet, so you cannot install new apps."),
          "OK");
    return;
  }

  std::string bundleIdentifier = removed(*link, kLinkPrefix);
  ConfigFileEntry record = configFile()->entryForBundleIdentifier(bundleIdentifier);

  std::optional<std::string> downloadURL;
  std::optional<std::string> name;
  if (auto caskName = textValue(record.caskName(), "cask name", bundleIdentifier)) {
    if (auto caskfile = downloadCaskfile(*caskName)) {
      std::optional<Error> ignored;
      downloadURL = CaskHelper::getDownloadURLFromCaskfile(*caskfile, bundleIdentifier, &ignored);
      name = CaskHelper::getAppnameFromCaskfile(*caskfile);
    }
  }
  if (!downloadURL) {
    if (auto feedURL = textValue(record.feedURL(), "feed URL", bundleIdentifier)) {
      auto userAgent = textValue(record.shouldUseCustomUserAgentForFeed(), "feed user agent", bundleIdentifier);
      downloadURL = downloadURLFromFeed(*feedURL, userAgent);
    }
  }
  if (!name) name = nameFromReceiveDateAnswer(CGIInfoHelper::receiveDateForApp(bundleIdentifier, "", ""));

  std::string displayName = name ? *name : bundleIdentifier;
  std::optional<std::string> installationFolder = defaultString("InstallationDirectory");
  cc_log("Info: handleURL: %@ is %@, file %@", bundleIdentifier, displayName, downloadURL);

  long choice = alert(
      localized("App Installation requested"),
      makeLocalizedString("Are you sure you want to install the latest version of '%@' into your '%@' folder?\n\n\n"
                          "This file will be installed:\n%@",
                          displayName, installationFolder, downloadURL),
      makeLocalizedString("Install '%@'", displayName), localized("Cancel"));
  if (choice == kAlertFirstButtonReturn) installBID(bundleIdentifier, name);
  else terminate();
}

}  // namespace vantor
