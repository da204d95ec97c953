// The last step of an attempt: the accepted app goes to the target folder, as the user or
// through the privileged tool; or an installer is handed to the system.
#include <utility>

#include "foundation/FileHelpers.h"
#include "foundation/Log.h"
#include "foundation/NamedValues.h"
#include "foundation/StringHelpers.h"
#include "foundation/URL.h"
#include "install/InstallAttempt.h"
#include "install/InstallErrorCodes.h"
#include "install/InstallPermissionProbe.h"
#include "install/InstallProgress.h"
#include "install/InstallerHandOff.h"
#include "install/PrivilegedToolRun.h"
#include "install/ZRSUPlainInstaller.h"
#include "sources/CGIInfoHelper.h"

namespace vantor::detail {

namespace {

// The second scratch folder, which holds the empty "App.app" that stands for the bundle
// being replaced; removed with whatever the installers left in it.
class FakeAppFolder {
 public:
  FakeAppFolder() : folder_(makeTempDirectory()) {}
  ~FakeAppFolder() {
    if (folder_) removeItem(*folder_);
  }
  FakeAppFolder(const FakeAppFolder&) = delete;
  FakeAppFolder& operator=(const FakeAppFolder&) = delete;

  // The path of "App.app", or nothing when the folder could not be made.
  std::optional<std::string> fakeAppPath() const {
    if (!folder_) return std::nullopt;
    return stringByAppendingPathComponent(*folder_, "App.app");
  }

 private:
  std::optional<std::string> folder_;
};

}  // namespace

std::optional<Error> InstallAttempt::handOffInstaller(const std::string& candidate) {
  std::string extractedAppPKG = URL::fileURLWithPath(candidate).absoluteString();
  std::optional<std::string> installerBundleID;
  if (pathExtension(lastPathComponent(candidate)) == "app") {
    auto launch = InstallerHandOff::launchApplication(candidate);
    installerBundleID = launch.bundleIdentifier;
    if (!launch.launched) {
      CGIInfoHelper::collectErrorEvent(
          kErrorInstallUnlaunchableInstaller,
          makeDictionaryOfVariables("bundleIdentifier, installerBundleID, caskName, error.description",
                                    bundleIdentifier_, installerBundleID, caskName_, launch.errorDescription));
    }
  } else {
    InstallerHandOff::open(candidate);
  }
  cc_log("Info: extraction of downloaded package yielded only a installer %@ %@", bundleIdentifier_, caskName_);
  // tmpDir stays: the installer runs from it.
  return installError(kErrorInstallOnlyInstaller,
                      makeDictionaryOfVariables("caskName, bundleIdentifier, downloadURL, tmpDir, extractedAppPKG, "
                                                "installerBundleID",
                                                caskName_, bundleIdentifier_, downloadURL_, tmpDir_, extractedAppPKG,
                                                installerBundleID));
}

std::optional<Error> InstallAttempt::install(const std::string& appPath) {
  InstallProgress::postMessage("Installing app update…");
  bool needsAuthorization = InstallPermissionProbe::needsAuthorization(directory_);
  std::string destination = stringByAppendingPathComponent(directory_, lastPathComponent(appPath));
  if (finalPath_ != nullptr) *finalPath_ = destination;

  FakeAppFolder fakeFolder;
  auto fakeAppPath = fakeFolder.fakeAppPath();
  if (!fakeAppPath || !createDirectories(*fakeAppPath)) {
    cc_log_error("Error: could not create the placeholder bundle %@", fakeAppPath);
    removeTmpDir();
    return installError(kErrorInstallMissingBundleID, makeDictionaryOfVariables("fakeAppPath", fakeAppPath));
  }

  auto error = needsAuthorization ? installPrivileged(appPath, *fakeAppPath, destination)
                                  : installAsUser(appPath, *fakeAppPath, destination);
  if (error) return error;
  InstallProgress::postMessage("Finished!");
  removeTmpDir();
  return std::nullopt;
}

std::optional<Error> InstallAttempt::installAsUser(const std::string& appPath, const std::string& fakeAppPath,
                                                   const std::string& destination) {
  Error installError;
  bool installed = install::ZRSUPlainInstaller::updateAppAtURL(
      fakeAppPath, destination, appPath, [](double fraction) { InstallProgress::postInstallFraction(fraction); },
      &installError);
  if (installed) return std::nullopt;

  std::string installErrorDescription = installError.description();
  cc_log_error("Error: installation of downloaded package failed %@ %@ %@", bundleIdentifier_, caskName_,
               installErrorDescription);
  removeTmpDir();
  CGIInfoHelper::collectErrorEvent(
      kErrorInstallInstallationFailed,
      makeDictionaryOfVariables("caskName, bundleIdentifier, downloadURL, installError.description, "
                                "@(weAreDoingCaskRetry)",
                                caskName_, bundleIdentifier_, downloadURL_, installErrorDescription,
                                weAreDoingCaskRetry_));
  return InstallAttempt::installError(
      kErrorInstallInstallationFailed,
      makeDictionaryOfVariables("caskName, bundleIdentifier, downloadURL, downloadedFileData, destinationPath",
                                caskName_, bundleIdentifier_, downloadURL_, downloadedFileDataValue(), destination));
}

std::optional<Error> InstallAttempt::installPrivileged(const std::string& appPath, const std::string& fakeAppPath,
                                                       const std::string& destination) {
  auto result = PrivilegedToolRun::run(fakeAppPath, destination, appPath,
                                       [](const std::string& text) { InstallProgress::postToolProgress(text); });
  using Stage = PrivilegedToolRun::Stage;
  if (result.stage == Stage::Succeeded) return std::nullopt;

  const int status = result.status;
  switch (result.stage) {
    case Stage::Create:
      cc_log_error("Error: could not AuthorizationCreate(), possibly user entered wrong password or canceled %@ %@ %i",
                   bundleIdentifier_, caskName_, status);
      break;
    case Stage::CopyRights:
      cc_log_error("Error: could not AuthorizationCopyRights()  %@ %@ %i", bundleIdentifier_, caskName_, status);
      break;
    case Stage::Execute:
      cc_log_error("Error: could not AuthorizationExecuteWithPrivileges()  %@ %@ %i", bundleIdentifier_, caskName_,
                   status);
      break;
    case Stage::Tool:
      cc_log_error("Error: the install tool mysteriously failed  %@ %@ %li", bundleIdentifier_, caskName_,
                   result.errorCode);
      break;
    case Stage::Succeeded:
      break;
  }
  removeTmpDir();

  if (result.stage == Stage::CopyRights) {
    if (status == PrivilegedToolRun::kDenied) return installError(kErrorInstallAuthorizationDenied);
    if (status == PrivilegedToolRun::kCanceled) return installError(kErrorInstallAuthorizationCanceled);
  }
  if (result.stage == Stage::Tool) {
    const std::string& installHelperToolOutput = result.output;
    long errorCode = result.errorCode;
    CGIInfoHelper::collectErrorEvent(
        kErrorInstallPrivilegedInstallFailed,
        makeDictionaryOfVariables("caskName, bundleIdentifier, downloadURL, installHelperToolOutput, @(errorCode), "
                                  "@(weAreDoingCaskRetry)",
                                  caskName_, bundleIdentifier_, downloadURL_, installHelperToolOutput, errorCode,
                                  weAreDoingCaskRetry_));
    return installError(kErrorInstallPrivilegedInstallFailed,
                        makeDictionaryOfVariables("caskName, bundleIdentifier, downloadURL, downloadedFileData, "
                                                  "installHelperToolOutput, @(errorCode)",
                                                  caskName_, bundleIdentifier_, downloadURL_,
                                                  downloadedFileDataValue(), installHelperToolOutput, errorCode));
  }

  long code = result.stage == Stage::Create       ? kErrorInstallAuthorizationCreateFailed
              : result.stage == Stage::CopyRights ? kErrorInstallAuthorizationCopyRightsFailed
                                                  : kErrorInstallAuthorizationExecuteWithPrivilegesFailed;
  // An internal failure of the rights check is no news for the server.
  if (!(result.stage == Stage::CopyRights && status == PrivilegedToolRun::kInternal)) {
    CGIInfoHelper::collectErrorEvent(code, makeDictionaryOfVariables("caskName, bundleIdentifier, downloadURL, "
                                                                     "@(status), @(weAreDoingCaskRetry)",
                                                                     caskName_, bundleIdentifier_, downloadURL_,
                                                                     status, weAreDoingCaskRetry_));
  }
  return installError(code, makeDictionaryOfVariables("caskName, bundleIdentifier, downloadURL, downloadedFileData, "
                                                      "@(status)",
                                                      caskName_, bundleIdentifier_, downloadURL_,
                                                      downloadedFileDataValue(), status));
}

}  // namespace vantor::detail
