#pragma once
// The workspace: showing files to the user and handing them to other programs. The
// desktop one reveals through the file manager, opens with the default handler and
// launches applications; the recording one only notes what was asked (tests, and the
// scripted front end, which writes the events to its transcript instead).

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace vantor::platform {

// An application that a launch started.
struct RunningApplication {
  std::optional<std::string> bundleIdentifier;
  int processIdentifier = -1;
};

class Workspace {
 public:
  virtual ~Workspace() = default;
  // Shows the item selected in the file manager.
  virtual bool revealInFileViewer(const std::string& path) = 0;
  // Opens a file or a link ("mailto:...", "https://...") with its default program.
  virtual bool open(const std::string& pathOrURL) = 0;
  // Starts an application (an executable or a .desktop entry) without waiting for it.
  virtual bool launchApplication(const std::string& path) = 0;
  // Starts an application bundle (a folder named *.app) without waiting for it; no
  // application, with the reason in *error, when none was started (as by default).
  virtual std::optional<RunningApplication> launchApplicationAtURL(const std::string& path, std::string* error);

  // The process's workspace: the recording one under the scripted front end, the
  // desktop one otherwise.
  static Workspace& shared();
  // Replaces it (tests). Returns the previous one.
  static std::unique_ptr<Workspace> setShared(std::unique_ptr<Workspace> workspace);
};

// Asks the desktop: the file manager's D-Bus ShowItems call (else xdg-open on the
// folder), and xdg-open. Launches never wait for the program to end.
class DesktopWorkspace : public Workspace {
 public:
  bool revealInFileViewer(const std::string& path) override;
  bool open(const std::string& pathOrURL) override;
  bool launchApplication(const std::string& path) override;
  // Such a bundle holds a program for another system, which this one cannot run: always
  // no application.
  std::optional<RunningApplication> launchApplicationAtURL(const std::string& path, std::string* error) override;
};

// Records every request as {"kind":"workspace","action":"reveal|open|launch","path":...}
// and hands it to the front end's record; starts nothing.
class RecordingWorkspace : public Workspace {
 public:
  bool revealInFileViewer(const std::string& path) override { return record("reveal", path); }
  bool open(const std::string& pathOrURL) override { return record("open", pathOrURL); }
  bool launchApplication(const std::string& path) override { return record("launch", path); }
  // Recorded as a launch; nothing started, so no application.
  std::optional<RunningApplication> launchApplicationAtURL(const std::string& path, std::string* error) override;

  std::vector<nlohmann::json> events() const;

 private:
  bool record(const char* action, const std::string& path);
  mutable std::mutex mutex_;
  std::vector<nlohmann::json> events_;
};

}  // namespace vantor::platform
