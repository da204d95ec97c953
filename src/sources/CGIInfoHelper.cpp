#include "sources/CGIInfoHelper.h"

#include <cstdlib>
#include <mutex>

#include "download/HTTPRetryingDownloader.h"
#include "download/HTTPSecurePOST.h"
#include "foundation/DataHelpers.h"
#include "foundation/Format.h"
#include "foundation/Log.h"
#include "foundation/NamedValues.h"
#include "foundation/StringHelpers.h"
#include "foundation/URL.h"
#include "foundation/ZRHostInformation.h"
#include "platform/Bundle.h"
#include "sources/ProductServer.h"
#include "vantor/BuildSettings.h"

namespace vantor {
namespace {

static_assert(std::string_view(build::kDateChecksumLetters).size() == 4, "the checksum counts four letters");

constexpr double kReceiveDateTimeout = 5;
// A catalog is a few megabytes; the server may be slow to produce it.
constexpr double kConfigFileTimeout = 120;
constexpr int kConfigFileRetries = 2;
constexpr double kConfigFileWaitingTime = 10;

// "1.0.0" -> "1"; "1.10" stays.
std::string withoutTrailingZeroComponents(std::string_view version) {
  std::string out(version);
  while (hasSuffix(out, ".0")) out.erase(out.size() - 2);
  return out;
}

long buildNumber() {
  auto version = platform::Bundle::main().objectForInfoDictionaryKey("CFBundleVersion");
  return version ? std::atol(version->c_str()) : 0;
}

std::string bytesAsText(const Bytes& data) {
  return stringFromData(data).value_or(std::string());
}

std::mutex observerMutex;
CGIInfoHelper::ErrorEventObserver& observer() {
  static auto* current = new CGIInfoHelper::ErrorEventObserver();
  return *current;
}

}  // namespace

std::string CGIInfoHelper::releaseDateChecksum(std::string_view cleanedIdentifier) {
  std::string lastComponent = split(cleanedIdentifier, ".").back();
  long dots = static_cast<long>(count(cleanedIdentifier, "."));
  long letters = 0;
  for (char letter : std::string_view(build::kDateChecksumLetters)) letters += static_cast<long>(count(cleanedIdentifier, std::string(1, letter)));
  std::string text = makeString(build::kDateChecksumTemplate, cleanedIdentifier, lastComponent,
                                dots * build::kDateChecksumDotFactor, letters, letters | build::kDateChecksumMask);
  return SHA1(text);
}

std::optional<Json> CGIInfoHelper::receiveDateForApp(std::string_view bundleIdentifier, std::string_view shortVersion,
                                                     std::string_view bundleVersion) {
  std::string cleanedIdentifier = removed(removed(bundleIdentifier, ";"), "&");
  std::string query = makeString("c=%@&s=%@&i=%li&x=%@&v=%@&b=%@", cleanedIdentifier,
                                 releaseDateChecksum(cleanedIdentifier), buildNumber(),
                                 SHA1(ZRHostInformation::macAddress()), withoutTrailingZeroComponents(shortVersion),
                                 withoutTrailingZeroComponents(bundleVersion));
  URL url = URLWithHost(ProductServer::productServerHost(), ProductServer::kReceiveDatePath, query);

  HTTPSecurePOST post;
  auto jsonData = post.downloadURLWithSecurePOST(url, kReceiveDateTimeout);
  if (!jsonData) return std::nullopt;
  if (auto answer = JSONArray(std::string_view(reinterpret_cast<const char*>(jsonData->data()), jsonData->size())))
    return answer;

  std::string text = bytesAsText(*jsonData);
  if (!text.empty() && !ProductServer::isServerTroubleAnswer(text)) {
    collectErrorEvent(103, makeDictionaryOfVariables("unsaveBID, url.absoluteString, jsonData.string, info",
                                                     bundleIdentifier, url.absoluteString(), text, "date_cgi"));
  }
  return std::nullopt;
}

std::optional<Bytes> CGIInfoHelper::downloadConfigFile() {
  // The build number lets the server hand older helpers a catalog they understand.
  URL url = URLWithHost(ProductServer::productServerHost(), ProductServer::kConfigFilePath,
                        makeString("i=%li", buildNumber()));
  HTTPRetryingDownloader downloader;
  auto data = downloader.downloadURL(url, kConfigFileTimeout, kConfigFileRetries,
                                     kConfigFileWaitingTime, [](const Bytes& bytes) { return !bytes.empty(); });
  if (!data) {
    cc_log_error("Error: downloadConfigFile got no catalog from %@", url.absoluteString());
    return std::nullopt;
  }
  return std::move(data->bytes);
}

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
