#include "foundation/TesselLib.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "foundation/Alerts.h"
#include "foundation/Assert.h"
#include "foundation/ExceptionHandler.h"
#include "foundation/FileHelpers.h"
#include "foundation/Log.h"
#include "foundation/StringHelpers.h"
#include "platform/Environment.h"
#include "platform/RunLoop.h"

namespace vantor {

TesselLib* cc = nullptr;

namespace {

void checkSupportFolder(const std::string& folder) {
  if (fileIsDirectory(folder)) return;
  if (!fileExists(folder)) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!ec && fileIsDirectory(folder)) return;
    std::string reason = ec ? ec.message() : "the folder could not be created";
    alert_apptitled(makeString("This application can not be launched because the 'Application Support' can not be "
                               "created at the path '%@'.\nError: %@",
                               folder, reason),
                    "OK");
    platform::exitProcess(1);
  }
  // Something that is not a folder, or a link to nowhere, sits there; later writes into
  // the folder fail in their own places.
  alert_apptitled(makeString("This application can not be launched because its 'Application Support' folder is not "
                             "a folder but a file. Please remove the file '%@' and re-launch this app.",
                             folder),
                  "OK");
}

}  // namespace

std::optional<std::string> detail::findDamagedFramework(const std::string& frameworksFolder) {
  auto entries = directoryContents(frameworksFolder);
  if (!entries) return std::nullopt;  // no private frameworks: nothing to check
  std::sort(entries->begin(), entries->end());
  for (const auto& entry : *entries) {
    std::string bundle = stringByAppendingPathComponent(frameworksFolder, entry);
    // Plain libraries beside the frameworks have no inner top-level file to check.
    if (fileIsSymlink(bundle) || !fileIsDirectory(bundle)) continue;
    std::string top = stringByAppendingPathComponent(bundle, stringByDeletingPathExtension(entry));
    if (!fileIsSymlink(top)) return top;
  }
  return std::nullopt;
}

std::vector<std::string> detail::crashLogsIn(const std::string& folder, const std::string& appName) {
  std::vector<std::string> paths;
  auto names = directoryContents(folder);
  if (!names) return paths;
  std::sort(names->begin(), names->end());
  std::string prefix = lowercased(appName);
  for (const auto& name : *names)
    if (lowercased(name).rfind(prefix, 0) == 0 && hasSuffix(name, ".crash"))
      paths.push_back(stringByAppendingPathComponent(folder, name));
  return paths;
}

TesselLib& TesselLib::create() {
  VANTOR_ASSERT(cc == nullptr);
  cc = new TesselLib();
  // The process-wide handles come into being on first use; touch them in their order.
  (void)cc->userDefaults();
  (void)cc->notificationCenter();
  (void)cc->mainBundle();
  (void)cc->workspace();

  if (auto folder = cc->suppDir()) checkSupportFolder(*folder);
  installExceptionHandler();
  if (auto frameworks = cc->mainBundle().privateFrameworksPath()) {
    if (auto damaged = detail::findDamagedFramework(*frameworks)) {
      alert_apptitled(makeString("This application is damaged. Either your download was damaged or you used a faulty "
                                 "program to extract the ZIP archive. Please re-download and make sure to use the ZIP "
                                 "decompression built into Mac OS X.\n\nOffending Path: %@",
                                 *damaged),
                      "OK");
      platform::exitProcess(1);
    }
  }
  ::srandom(static_cast<unsigned>(std::time(nullptr)));
  return *cc;
}

platform::UserDefaults& TesselLib::userDefaults() const { return platform::UserDefaults::standard(); }
platform::NotificationCenter& TesselLib::notificationCenter() const {
  return platform::NotificationCenter::defaultCenter();
}
const platform::Bundle& TesselLib::mainBundle() const { return platform::Bundle::main(); }
platform::Workspace& TesselLib::workspace() const { return platform::Workspace::shared(); }

std::optional<std::string> TesselLib::appName() const {
  return mainBundle().objectForInfoDictionaryKey("CFBundleName");
}
std::optional<std::string> TesselLib::appVersionString() const {
  return mainBundle().objectForInfoDictionaryKey("CFBundleShortVersionString");
}
int TesselLib::appBuildNumber() const {
  auto version = mainBundle().objectForInfoDictionaryKey("CFBundleVersion");
  return version ? std::atoi(version->c_str()) : 0;
}
std::string TesselLib::appBundleIdentifier() const { return mainBundle().bundleIdentifier(); }
std::optional<std::string> TesselLib::resDir() const { return mainBundle().resourcePath(); }

std::string TesselLib::docDir() const { return platform::homeDirectory() + "/Documents"; }
std::string TesselLib::deskDir() const { return platform::homeDirectory() + "/Desktop"; }

std::optional<std::string> TesselLib::suppDir() const {
  auto name = appName();
  if (!name) return std::nullopt;
  return platform::homeDirectory() + "/Library/Application Support/" + *name;
}

std::string TesselLib::homeURLInsideSandbox() const { return platform::homeDirectory(); }
std::string TesselLib::homeURLOutsideSandbox() const { return platform::userDatabaseHomeDirectory(); }
std::string TesselLib::prefsPath() const { return platform::UserDefaults::preferencesPath(appBundleIdentifier()); }

std::vector<std::string> TesselLib::appCrashLogFilenames() const {
  auto name = appName();
  if (!name) return {};
  auto paths = detail::crashLogsIn(expanded("~/Library/Logs/DiagnosticReports/"), *name);
  auto system = detail::crashLogsIn("/Library/Logs/DiagnosticReports/", *name);
  paths.insert(paths.end(), system.begin(), system.end());
  return paths;
}

std::vector<std::string> TesselLib::appCrashLogs() const {
  std::vector<std::string> logs;
  for (const auto& path : appCrashLogFilenames()) {
    auto text = contentsAsString(path);
    if (!text) continue;
    logs.push_back(splitBeforeFull(*text, "/System/Library/"));
  }
  return logs;
}

}  // namespace vantor
