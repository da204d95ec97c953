#include "platform/Workspace.h"

#include <cstdio>

#include "platform/ChildProcess.h"

namespace vantor::platform {
namespace {

// Starts the tool and waits only a little: xdg-open and gdbus return once the desktop
// has taken the request; a tool that hangs is left to run and counted as failed.
bool runDesktopTool(const std::vector<std::string>& argv) {
  RunOptions options;
  options.timeoutSeconds = 15;
  ProcessResult result = runProcess(argv, options);
  if (!result.launched) {
    std::fprintf(stderr, "Error: could not start %s: %s\n", argv[0].c_str(), result.launchError.c_str());
    return false;
  }
  return !result.timedOut && !result.signaled && result.status == 0;
}

std::string fileURLForPath(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 std::string_view("/-._~").find(static_cast<char>(c)) != std::string_view::npos;
    if (plain) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += hex[c >> 4];
      url += hex[c & 15];
    }
  }
  return url;
}

std::string parentFolder(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool DesktopWorkspace::revealInFileViewer(const std::string& path) {
  if (auto gdbus = findExecutable("gdbus")) {
    std::string items = "['" + fileURLForPath(path) + "']";
    if (runDesktopTool({*gdbus, "call", "--session", "--dest", "org.freedesktop.FileManager1", "--object-path",
                        "/org/freedesktop/FileManager1", "--method", "org.freedesktop.FileManager1.ShowItems", items,
                        ""}))
      return true;
  }
  return open(parentFolder(path));
}

bool DesktopWorkspace::open(const std::string& pathOrURL) {
  auto xdgOpen = findExecutable("xdg-open");
  if (!xdgOpen) {
    std::fprintf(stderr, "Error: xdg-open is not installed; can not open %s\n", pathOrURL.c_str());
    return false;
  }
  return runDesktopTool({*xdgOpen, pathOrURL});
}

bool DesktopWorkspace::launchApplication(const std::string& path) {
  if (isExecutableFile(path)) {
    std::string error;
    ProcessOptions options;
    options.discardOutput = true;
    auto child = ChildProcess::spawn({path}, options, &error);
    if (!child) {
      std::fprintf(stderr, "Error: could not launch %s: %s\n", path.c_str(), error.c_str());
      return false;
    }
    // The application outlives this object: let it go without killing it. It stays a
    // zombie until the helper exits, which is soon after a launch.
    child.release();
    return true;
  }
  return open(path);
}

std::optional<RunningApplication> DesktopWorkspace::launchApplicationAtURL(const std::string& path,
                                                                           std::string* error) {
  if (error != nullptr) *error = "The application " + path + " is built for another system and cannot be launched here";
  std::fprintf(stderr, "Error: can not launch %s: application bundles do not run on this system\n", path.c_str());
  return std::nullopt;
}

}  // namespace vantor::platform
