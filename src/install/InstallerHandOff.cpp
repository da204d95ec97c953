#include "install/InstallerHandOff.h"

#include "platform/Workspace.h"

namespace vantor {

InstallerHandOff::Launch InstallerHandOff::launchApplication(const std::string& appPath) {
  std::string error;
  auto running = platform::Workspace::shared().launchApplicationAtURL(appPath, &error);
  Launch launch;
  if (running) {
    launch.launched = true;
    launch.bundleIdentifier = running->bundleIdentifier;
  } else {
    launch.errorDescription = error;
  }
  return launch;
}

bool InstallerHandOff::open(const std::string& path) { return platform::Workspace::shared().open(path); }

}  // namespace vantor
