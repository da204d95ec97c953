#pragma once
// The scripted front end: answers come from a file, one JSON object per alert in order
// ({"button":1001}, {"button":1000,"checkbox":1}, {"button":1000,"text":"..."},
// {"button":1000,"selection":2}, {"button":1000,"color":[r,g,b,a]}, {"folder":"/path"});
// an alert with no answer left takes its first button, a folder panel with none is
// cancelled. Every alert, progress update, folder panel and workspace event is appended
// to the transcript file as one JSON line.

#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/FrontEnd.h"

namespace vantor::platform {

class ScriptFrontEnd : public FrontEnd {
 public:
  // Either file may be absent: no answers, or no transcript.
  ScriptFrontEnd(std::optional<std::string> answersPath, std::optional<std::string> transcriptPath);

  AlertResponse runModalAlert(const AlertRequest& request) override;
  void showNotice(const AlertRequest& request, std::function<void(unsigned long)> onClose) override;
  void updateProgress(const ProgressUpdate& update) override;
  void closeProgress() override {}
  std::optional<std::string> chooseFolder(const FolderPanelRequest& request) override;
  void recordWorkspaceEvent(const nlohmann::json& event) override;

 private:
  nlohmann::json nextAnswer();
  void write(const nlohmann::ordered_json& line);

  std::mutex mutex_;
  std::deque<nlohmann::json> answers_;
  std::optional<std::string> transcriptPath_;
};

}  // namespace vantor::platform
