#pragma once
// The terminal front end: alerts are prompts on the controlling terminal with numbered
// buttons (Return takes the first), accessories are asked for in turn, and the progress
// window is one line on standard error that is rewritten in place (the icon arriving is
// noted on a line of its own; when standard error is no terminal, each change is a new
// line). End of input answers with the first button, so a closed terminal never hangs
// the helper.

#include <optional>
#include <string>

#include "platform/FrontEnd.h"

namespace vantor::platform {

class TtyFrontEnd : public FrontEnd {
 public:
  // With answerEverything, nobody is asked: each alert is printed on standard error with
  // its first button taken and every accessory left as offered, and the folder panel
  // takes the folder it starts in (non-interactive runs such as the demo's --yes).
  explicit TtyFrontEnd(bool answerEverything = false) : answerEverything_(answerEverything) {}

  // Whether the process has a controlling terminal to ask on.
  static bool terminalAttached();

  AlertResponse runModalAlert(const AlertRequest& request) override;
  void showNotice(const AlertRequest& request, std::function<void(unsigned long)> onClose) override;
  void updateProgress(const ProgressUpdate& update) override;
  void closeProgress() override;
  std::optional<std::string> chooseFolder(const FolderPanelRequest& request) override;
  // Terminal lines at width characters per line.
  double heightForText(const std::string& text, double width) const override;

  // The progress window as one line of at most width characters: name, percent bar,
  // message and URL, each when known.
  static std::string progressLine(const ProgressUpdate& shown, size_t width);

 private:
  ProgressUpdate shown_;
  bool progressLineOpen_ = false;
  std::string lastPlainLine_;  // when standard error is no terminal
  bool answerEverything_ = false;
};

}  // namespace vantor::platform
