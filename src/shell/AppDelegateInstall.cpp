// The install run of the application delegate: the progress window, the install and icon
// tasks on the background queue, the one result dialog and the end of the process; and
// the choice of the installation folder.
#include <filesystem>
#include <map>
#include <mutex>
#include <string_view>

#include "catalog/ConfigFile.h"
#include "download/URLDownloads.h"
#include "foundation/Alerts.h"
#include "foundation/Assert.h"
#include "foundation/Dispatch.h"
#include "foundation/FileHelpers.h"
#include "foundation/Localization.h"
#include "foundation/Log.h"
#include "foundation/StringHelpers.h"
#include "foundation/URL.h"
#include "foundation/UserDefaultsHelpers.h"
#include "install/AppInstallHelper.h"
#include "install/InstallErrorCodes.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "shell/AppDelegate.h"
#include "sources/CaskHelper.h"
#include "sources/ProductServer.h"

namespace vantor {
namespace {

constexpr const char* kInstallationDirectoryKey = "InstallationDirectory";

std::mutex installRunnerMutex;
AppDelegate::InstallRunner& installRunner() {
  static auto* runner = new AppDelegate::InstallRunner();
  return *runner;
}

// The file name extension of the image format the bytes hold, or nothing when they hold
// none that a file viewer shows.
std::optional<std::string_view> imageExtension(const Bytes& data) {
  auto starts = [&data](std::string_view magic) {
    return data.size() >= magic.size() && std::equal(magic.begin(), magic.end(), data.begin(),
                                                     [](char m, uint8_t b) { return static_cast<uint8_t>(m) == b; });
  };
  if (starts("\x89PNG\r\n\x1a\n")) return "png";
  if (starts("\xff\xd8\xff")) return "jpg";
  if (starts("GIF87a") || starts("GIF89a")) return "gif";
  if (starts("icns")) return "icns";
  if (starts(std::string_view("II*\0", 4)) || starts(std::string_view("MM\0*", 4))) return "tiff";
  return std::nullopt;
}

// The bundle identifier as one path segment: it comes from a link, so anything but the
// unreserved characters of a URL is percent-encoded.
std::string pathSegment(std::string_view text) { return percentEncoded(text, "-._~"); }

// For a failed installation: the destination path it names when something is there.
std::optional<std::string> existingDestination(const Error& error) {
  if (error.code != kErrorInstallInstallationFailed) return std::nullopt;
  auto it = error.userInfo.find("destinationPath");
  if (it == error.userInfo.end() || !it->is_string() || !fileExists(it->get<std::string>())) return std::nullopt;
  return it->get<std::string>();
}

// The folder path as stored: absolute, tilde expanded, without a trailing separator.
std::string folderPathForDefaults(const std::string& chosen) {
  std::error_code ec;
  std::filesystem::path path = std::filesystem::absolute(expanded(chosen), ec);
  if (ec) path = chosen;
  std::string text = path.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace

void AppDelegate::setInstallRunner(InstallRunner runner) {
  std::lock_guard lock(installRunnerMutex);
  installRunner() = std::move(runner);
}

std::optional<Error> AppDelegate::runInstall(const std::string& bundleIdentifier, const ConfigFile& configFile,
                                             const std::string& directory, std::optional<std::string>* finalPath) {
  InstallRunner runner;
  {
    std::lock_guard lock(installRunnerMutex);
    runner = installRunner();
  }
  if (runner) return runner(bundleIdentifier, configFile, directory, finalPath);
  return AppInstallHelper::installApp(bundleIdentifier, configFile, directory, finalPath);
}

void AppDelegate::installBID(const std::string& bundleIdentifier, const std::optional<std::string>& name) {
  // Never set back: the process ends with this run.
  setIsInstalling(true);
  platform::ProgressUpdate window;
  window.name = makeLocalizedString("Installing App: %@", name);
  showProgress(window);

  std::shared_ptr<const ConfigFile> catalog = configFile();
  VANTOR_ASSERT(catalog != nullptr);  // request resolution loaded it before asking

  dispatch_async_back([this, bundleIdentifier, name, catalog] {
    // Read here, not at confirmation: a folder chosen meanwhile counts.
    std::optional<std::string> directory = defaultString(kInstallationDirectoryKey);
    if (!directory) {
      cc_log_error("Error: the default %@ is not a folder path; installing into /Applications/",
                   kInstallationDirectoryKey);
      directory = "/Applications/";
    }
    std::optional<std::string> finalPath;
    std::optional<Error> error = runInstall(bundleIdentifier, *catalog, *directory, &finalPath);
    // Queued behind every progress update the run posted, so the window is complete
    // before the dialog.
    dispatch_async_main([this, error, name, finalPath] { installFinished(error, name, finalPath); });
  });

  dispatch_async_back([this, bundleIdentifier] {
    // The product's web server; no time limit of its own: the result step ends the
    // process whether or not the icon came.
    auto url = URL::parse("https://" + ProductServer::productServerHost() +
                          ProductServer::iconPath(pathSegment(bundleIdentifier)));
    std::optional<Bytes> data;
    if (url) data = contents(*url);
    std::optional<std::string_view> extension;
    if (data) extension = imageExtension(*data);
    if (!extension) {
      cc_log("Info: no icon for %@", bundleIdentifier);
      return;
    }
    auto folder = makeTempDirectory();
    if (!folder) return;
    const std::string path = *folder + "/icon." + std::string(*extension);
    if (!writeContentsAtomically(path, std::string_view(reinterpret_cast<const char*>(data->data()), data->size()))) {
      removeItem(*folder);
      return;
    }
    dispatch_async_main([this, folder = *folder, path] { showIcon(folder, path); });
  });
}

void AppDelegate::showIcon(const std::string& folder, const std::string& path) {
  if (finished_) {  // the result came first
    removeItem(folder);
    return;
  }
  iconFolder_ = folder;
  platform::ProgressUpdate icon;
  icon.image = path;
  showProgress(icon);
}

std::map<long, std::string> AppDelegate::istallErrorMessageDictionary() {
  const std::string newerOS = localized("The app cannot be install because it requires a newer macOS version.");
  return {
      {kErrorInstallAdwareDetected, "kErrorInstallAdwareDetected"},
      {kErrorInstallMissingBundleID, localized("The app failed to install (kErrorInstallMissingBundleID).")},
      {kErrorInstallNoMapping, localized("The app failed to install (kErrorInstallNoMapping).")},
      {kErrorInstallCaskfileDownloadFailed,
       makeLocalizedString("The app failed to install due to a failed network connection to '%@' - please check your "
                           "internet connection and try again.",
                           ProductServer::caskHost())},
      {kErrorInstallCaskRequiresNewerOS, newerOS},
      {kErrorInstallCaskfileContainsNoVersions,
       localized("The app failed to install (kErrorInstallCaskfileContainsNoVersions).")},
      {kErrorInstallConvertURLScriptFailedException,
       localized("The app failed to install (kErrorInstallConvertURLScriptFailedException).")},
      {kErrorInstallConvertURLScriptFailedEmpty,
       localized("The app failed to install (kErrorInstallConvertURLScriptFailedEmpty).")},
      {kErrorInstallConvertURLScriptFailedStatus,
       localized("The app failed to install (kErrorInstallConvertURLScriptFailedStatus).")},
      {kErrorInstallDownloadFailed,
       localized("The app failed to install because the newest version could not be downloaded. This is usually a "
                 "temporary problem with the connection.")},
      {kErrorInstallExtractionFailed,
       localized("The app failed to install because the newest version download could not be extracted.")},
      {kErrorInstallAppRequiresNewerOS, newerOS},
      {kErrorInstallNothingFound,
       localized("The app failed to install because the download did not seem to contain anything.")},
      {kErrorInstallInstallationFailed, localized("The app failed to update because the installation failed.")},
      {kErrorInstallAuthorizationCreateFailed,
       localized("The app failed to update (kErrorInstallAuthorizationCreateFailed).")},
      {kErrorInstallAuthorizationCopyRightsFailed,
       localized("The app failed to update (kErrorInstallAuthorizationCopyRightsFailed).")},
      {kErrorInstallAuthorizationExecuteWithPrivilegesFailed,
       localized("The app failed to update (kErrorInstallAuthorizationExecuteWithPrivilegesFailed).")},
      {kErrorInstallPrivilegedInstallFailed,
       localized("The app failed to update because the privileged installation failed.")},
      {kErrorInstallDestinationPathExists, "kErrorInstallDestinationPathExists"},
      {kErrorInstallExtensionGuessError, "kErrorInstallExtensionGuessError"},
      {kErrorInstallAlreadyTriedURL, "kErrorInstallAlreadyTriedURL"},
      {kErrorInstallDownloadException, "kErrorInstallDownloadException"},
      {kErrorInstallAuthorizationCanceled,
       localized("Installation was cancelled as you did not enter an admin password.")},
      {kErrorInstallAuthorizationDenied,
       localized("Installation was cancelled as the credentials you've entered do not correspond to an admin user "
                 "that has write-access to the Applications folder.")},
      {kErrorInstallUnlaunchableInstaller, "kErrorInstallUnlaunchableInstaller"},
  };
}

void AppDelegate::installFinished(const std::optional<Error>& error, const std::optional<std::string>& name,
                                  const std::optional<std::string>& finalPath) {
  finished_ = true;
  if (!error) {
    // The box starts off: revealing opens a window, which nobody asked for yet.
    unsigned long reveal = 0;
    alert_checkbox(localized("Installation Successful"),
                   makeLocalizedString("The app '%@' was successfully installed.", name), {localized("Awesome")},
                   makeLocalizedString("Reveal '%@' in the Finder now", name), &reveal);
    if (reveal && finalPath) platform::Workspace::shared().revealInFileViewer(*finalPath);
  } else if (error->code == kErrorInstallOnlyInstaller) {
    alert_apptitled(
        makeLocalizedString("The installer for the app '%@' has been successfully downloaded and launched.", name),
        localized("OK"));
  } else if (auto destination = existingDestination(*error)) {
    alert_apptitled(makeLocalizedString("The app '%@' could not be installed into your '%@' folder because there is "
                                        "already an app at the target path: '%@'",
                                        name, defaultString(kInstallationDirectoryKey), *destination),
                    localized("D'Oh"));
  } else {
    auto table = istallErrorMessageDictionary();
    std::optional<std::string> message;
    if (auto it = table.find(error->code); it != table.end()) message = it->second;
    alert_apptitled(makeLocalizedString("Installation of the app failed. Error: %@", message), localized("D'Oh"));
  }
  if (iconFolder_) removeItem(*iconFolder_);
  terminate();
}

void AppDelegate::setInstallDir() {
  platform::FolderPanelRequest panel;
  panel.directory = defaultString(kInstallationDirectoryKey);
  std::optional<std::string> chosen = chooseFolder(panel);
  if (!chosen) return;
  std::string folder = folderPathForDefaults(*chosen);
  // The panel offers folders only; a typed path is held to the same rule.
  if (!fileIsDirectory(folder)) {
    cc_log_error("Error: '%@' is not a folder; the installation folder stays %@", folder, panel.directory);
    return;
  }
  if (!platform::UserDefaults::standard().setObject(kInstallationDirectoryKey, folder))
    cc_log_error("Error: could not store the installation folder %@", folder);
}

}  // namespace vantor
