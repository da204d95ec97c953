#include "install/InstallProgress.h"

#include "foundation/Json.h"
#include "foundation/Localization.h"
#include "platform/NotificationCenter.h"

namespace vantor {

namespace {
constexpr double kBytesPerMegabyte = 1000000.0;

void post(const Json& object) {
  platform::NotificationCenter::defaultCenter().post(InstallProgress::kNotificationName, object);
}
}  // namespace

void InstallProgress::postMessage(std::string_view message) { post({{"message", localized(message)}}); }

void InstallProgress::postURL(const std::string& downloadURL) { post({{"url", downloadURL}}); }

void InstallProgress::postDownload(std::int64_t received, std::int64_t expected) {
  double receivedMB = static_cast<double>(received) / kBytesPerMegabyte;
  if (expected > 0) {
    double percent = static_cast<double>(received) / static_cast<double>(expected) * 100.0;
    double expectedMB = static_cast<double>(expected) / kBytesPerMegabyte;
    post({{"message", makeLocalizedString("Downloaded %.2f of %.f MB (%.2f%%)…", receivedMB, expectedMB, percent)},
          {"percent", percent}});
  } else {
    post({{"message", makeLocalizedString("Downloaded %.2f MB…", receivedMB)}});
  }
}

void InstallProgress::postAbortStop() { post({{"abortstop", true}}); }

void InstallProgress::postInstallFraction(double fraction) {
  post({{"message", makeLocalizedString("Installing app update %i%%…", static_cast<int>(fraction * 100.0))}});
}

void InstallProgress::postToolProgress(const std::string& text) {
  post({{"message", makeLocalizedString("Installing app update %@%%…", text)}});
}

}  // namespace vantor
