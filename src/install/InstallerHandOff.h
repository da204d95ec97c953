#pragma once
// Handing an installer found in a download to the system: an installer application is
// launched, anything else (a package, an installer bundle) is opened with its default
// handler. Neither waits for the installer.

#include <optional>
#include <string>

namespace vantor {

class InstallerHandOff {
 public:
  InstallerHandOff() = delete;

  struct Launch {
    bool launched = false;  // an application came back
    // The launched application's bundle identifier; nothing when no application came back
    // (or it has none).
    std::optional<std::string> bundleIdentifier;
    // Why no application came back.
    std::optional<std::string> errorDescription;
  };
  static Launch launchApplication(const std::string& appPath);
  static bool open(const std::string& path);
};

}  // namespace vantor
