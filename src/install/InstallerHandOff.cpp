#include "install/InstallerHandOff.h"

#include "foundation/Format.h"
#include "platform/Workspace.h"

namespace vantor {

InstallerHandOff::Launch InstallerHandOff::launchApplication(const std::string& appPath) {
  // The workspace starts programs, not application bundles: no running application comes
  // back to ask for its identifier, so the launch always reports none.
  bool started = platform::Workspace::shared().launchApplication(appPath);
  Launch launch;
  launch.errorDescription = started ? makeString("No running application for %@", appPath)
                                    : makeString("The application %@ could not be launched", appPath);
  return launch;
}

bool InstallerHandOff::open(const std::string& path) { return platform::Workspace::shared().open(path); }

}  // namespace vantor
