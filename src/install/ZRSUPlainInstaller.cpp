#include "install/ZRSUPlainInstaller.h"

#include "foundation/Log.h"
#include "install/AppReplacement.h"
#include "install/ZRSUFileManager.h"

namespace vantor::install {

bool ZRSUPlainInstaller::updateAppAtURL(const std::optional<std::string>& appURL, const std::string& destinationAppURL,
                                        const std::optional<std::string>& updateURL,
                                        const std::function<void(double)>& progressBlock, Error* error) {
  if (!appURL || !updateURL) {
    cc_log_error("Failed to perform installation because either installation URL (%@) or new URL (%@) is nil", appURL,
                 updateURL);
    if (error != nullptr)
      *error = Error(kSUSparkleErrorDomain, kSUInstallationPathsError,
                     Json{{kLocalizedDescriptionKey,
                           "Failed to perform installation because the paths to install at and from are not valid"}});
    return false;
  }
  ZRSUFileManager fileManager;
  AppReplacement replacement(fileManager, *appURL, destinationAppURL, *updateURL, progressBlock);
  return replacement.run(error);
}

}  // namespace vantor::install
