#pragma once
// The install pipeline: one confirmed request (a bundle identifier, the catalog, a target
// folder) becomes an installed application bundle, a launched installer, or an error in
// the Cocoa error domain whose code (install/InstallErrorCodes.h) says precisely why not.
// Both operations block their thread for the whole run (downloads, extraction, the
// administrator prompt) and must not run on the main thread. Progress is posted as
// "ProgressUpdateNotification" on the default notification centre, from the run's thread.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "catalog/ConfigFile.h"
#include "foundation/Error.h"
#include "install/AbortAppInfos.h"
#include "install/InstallErrorCodes.h"

namespace vantor {

class AppInstallHelper {
 public:
  AppInstallHelper() = delete;

  // The appcast feed's download first, the cask file's after a failed feed attempt.
  // Nothing on success. *finalPath (when given) is set to where the app goes as soon as
  // that is known, also when the install itself then fails.
  [[nodiscard]] static std::optional<Error> installApp(const std::string& bundleIdentifier,
                                                       const ConfigFile& configFile, const std::string& directory,
                                                       std::optional<std::string>* finalPath);

  // One attempt. useSparkleURL: download sparkleDownloadURL (which must be given) and read
  // no cask file; otherwise the entry's cask file gives the URL, and a sparkleDownloadURL
  // marks the attempt as the cask retry after a failed feed attempt.
  [[nodiscard]] static std::optional<Error> installApp(const std::string& bundleIdentifier,
                                                       const ConfigFile& configFile,
                                                       const std::optional<std::string>& sparkleDownloadURL,
                                                       bool useSparkleURL, const std::string& directory,
                                                       std::optional<std::string>* finalPath);

  // Where the pipeline finds the list of runs to cancel. The shell sets it at launch; no
  // provider, or a provider that gives no list, means that nothing is ever cancelled.
  using AbortAppInfosProvider = std::function<std::shared_ptr<AbortAppInfos>()>;
  static void setAbortAppInfosProvider(AbortAppInfosProvider provider);
};

}  // namespace vantor
