#pragma once
// The context object: created once at launch, it prepares the process (application
// support folder, fatal-error handling, bundle sanity check, random seed) and answers
// questions about the running application. Every accessor computes its answer per call.

#include <optional>
#include <string>
#include <vector>

#include "platform/Bundle.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"

namespace vantor {

class TesselLib {
 public:
  // Runs the creation steps and stores the object as `cc`. A second creation is a
  // programming error (fatal assertion). May end the process with status 1 after an
  // alert (support folder that can not be created, damaged bundle).
  static TesselLib& create();

  TesselLib(const TesselLib&) = delete;
  TesselLib& operator=(const TesselLib&) = delete;

  // Process-wide handles.
  platform::UserDefaults& userDefaults() const;
  platform::NotificationCenter& notificationCenter() const;
  const platform::Bundle& mainBundle() const;
  platform::Workspace& workspace() const;

  // Bundle facts.
  std::optional<std::string> appName() const;
  std::optional<std::string> appVersionString() const;
  int appBuildNumber() const;  // CFBundleVersion's leading digits; 0 when none
  std::string appBundleIdentifier() const;
  std::optional<std::string> resDir() const;

  // Folders.
  std::string docDir() const;
  std::string deskDir() const;
  // "~/Library/Application Support/<appName>"; nothing without appName.
  std::optional<std::string> suppDir() const;
  std::string homeURLInsideSandbox() const;
  std::string homeURLOutsideSandbox() const;
  std::string prefsPath() const;

  // Crash reports of this application in the user's and the system's report folders.
  std::vector<std::string> appCrashLogFilenames() const;
  // Each report's text up to the first "/System/Library/".
  std::vector<std::string> appCrashLogs() const;

 private:
  TesselLib() = default;
};

// The context object; null until TesselLib::create().
extern TesselLib* cc;

namespace detail {
// The bundle sanity check over a private frameworks folder: the first entry whose
// top-level file ("Foo.framework/Foo") is not a symbolic link, or nothing.
std::optional<std::string> findDamagedFramework(const std::string& frameworksFolder);
// Crash report file names in folder for an application name.
std::vector<std::string> crashLogsIn(const std::string& folder, const std::string& appName);
}  // namespace detail

}  // namespace vantor
