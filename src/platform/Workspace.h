#pragma once
// The workspace: showing files to the user and handing them to other programs. The
// desktop one reveals through the file manager, opens with the default handler and
// launches applications; the recording one only notes what was asked (tests, and the
// scripted front end, which writes the events to its transcript instead).

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace vantor::platform {

class Workspace {
 public:
  virtual ~Workspace() = default;
  // Shows the item selected in the file manager.
  virtual bool revealInFileViewer(const std::string& path) = 0;
  // Opens a file or a link ("mailto:...", "https://...") with its default program.
  virtual bool open(const std::string& pathOrURL) = 0;
  // Starts an application (an executable or a .desktop entry) without waiting for it.
  virtual bool launchApplication(const std::string& path) = 0;

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
};

// Records every request as {"kind":"workspace","action":"reveal|open|launch","path":...}
// and hands it to the front end's record; starts nothing.
class RecordingWorkspace : public Workspace {
 public:
  bool revealInFileViewer(const std::string& path) override { return record("reveal", path); }
  bool open(const std::string& pathOrURL) override { return record("open", pathOrURL); }
  bool launchApplication(const std::string& path) override { return record("launch", path); }

  std::vector<nlohmann::json> events() const;

 private:
  bool record(const char* action, const std::string& path);
  mutable std::mutex mutex_;
  std::vector<nlohmann::json> events_;
};

}  // namespace vantor::platform
