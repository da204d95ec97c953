#include "platform/ScriptFrontEnd.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "platform/RunLoop.h"

namespace vantor::platform {
namespace {

using ordered_json = nlohmann::ordered_json;

ordered_json optionalText(const std::optional<std::string>& text) {
  return text ? ordered_json(*text) : ordered_json(nullptr);
}

ordered_json colorJson(const Color& c) { return ordered_json::array({c.red, c.green, c.blue, c.alpha}); }

}  // namespace

ScriptFrontEnd::ScriptFrontEnd(std::optional<std::string> answersPath, std::optional<std::string> transcriptPath)
    : transcriptPath_(std::move(transcriptPath)) {
  if (!answersPath) return;
  std::ifstream in(*answersPath);
  if (!in) {
    std::fprintf(stderr, "Error: script front end can not read the answers file %s\n", answersPath->c_str());
    return;
  }
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    auto answer = nlohmann::json::parse(line, nullptr, false);
    if (answer.is_discarded() || !answer.is_object()) {
      // Kept as an empty answer so that the answers after it still meet their alerts.
      std::fprintf(stderr, "Error: line %d of %s is not a JSON object; taking the first button there\n", number,
                   answersPath->c_str());
      answer = nlohmann::json::object();
    }
    answers_.push_back(std::move(answer));
  }
}

nlohmann::json ScriptFrontEnd::nextAnswer() {
  std::lock_guard lock(mutex_);
  if (answers_.empty()) return nlohmann::json::object();
  auto answer = std::move(answers_.front());
  answers_.pop_front();
  return answer;
}

void ScriptFrontEnd::write(const ordered_json& line) {
  if (!transcriptPath_) return;
  std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  std::lock_guard lock(mutex_);
  // One write per line on an append descriptor, so lines from several processes (a second
  // launch) never interleave.
  int fd = ::open(transcriptPath_->c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::fprintf(stderr, "Error: script front end can not write the transcript %s\n", transcriptPath_->c_str());
    return;
  }
  (void)!::write(fd, text.data(), text.size());
  ::close(fd);
}

AlertResponse ScriptFrontEnd::runModalAlert(const AlertRequest& request) {
  nlohmann::json answer = nextAnswer();
  AlertResponse response;
  response.checkboxState = request.checkboxState;
  response.text = request.text;
  response.color = request.color;

  long shown = static_cast<long>(request.buttons.empty() ? 1 : request.buttons.size());
  if (auto it = answer.find("button"); it != answer.end()) {
    long button = it->is_number_integer() ? it->get<long>() : 0;
    if (button >= 1000 && button < 1000 + shown) response.button = button;
    else std::fprintf(stderr, "Error: scripted answer %s names no button of %s; taking the first\n",
                      it->dump().c_str(), request.function.c_str());
  }
  if (auto it = answer.find("checkbox"); it != answer.end() && it->is_number())
    response.checkboxState = it->get<double>() != 0 ? 1 : 0;
  if (auto it = answer.find("text"); it != answer.end() && it->is_string()) response.text = it->get<std::string>();
  if (auto it = answer.find("selection"); it != answer.end() && it->is_number_unsigned()) {
    auto selection = it->get<unsigned long>();
    if (selection < request.choices.size()) response.selection = selection;
  }
  if (auto it = answer.find("color"); it != answer.end() && it->is_array() && it->size() == 4)
    response.color = {(*it)[0].get<double>(), (*it)[1].get<double>(), (*it)[2].get<double>(), (*it)[3].get<double>()};

  ordered_json line;
  line["kind"] = "alert";
  line["function"] = request.function;
  line["title"] = optionalText(request.title);
  line["message"] = optionalText(request.message);
  line["buttons"] = request.buttons;
  if (request.icon) line["icon"] = *request.icon;
  switch (request.accessory) {
    case AlertAccessory::None: break;
    case AlertAccessory::Checkbox:
    case AlertAccessory::Suppression:
      line["checkboxTitle"] = request.checkboxTitle;
      line["checkbox"] = response.checkboxState;
      break;
    case AlertAccessory::Input:
    case AlertAccessory::SecureInput:
    case AlertAccessory::TextIn:
    case AlertAccessory::TextOut: line["text"] = request.accessory == AlertAccessory::TextOut ? request.text : response.text; break;
    case AlertAccessory::SelectionPopup:
    case AlertAccessory::SelectionMatrix:
      line["choices"] = request.choices;
      line["selection"] = response.selection;
      break;
    case AlertAccessory::ColorWell: line["color"] = colorJson(response.color); break;
  }
  line["result"] = response.button;
  write(line);
  return response;
}

void ScriptFrontEnd::showNotice(const AlertRequest& request, std::function<void(unsigned long)> onClose) {
  ordered_json line;
  line["kind"] = "notice";
  line["function"] = request.function;
  line["title"] = optionalText(request.title);
  line["message"] = optionalText(request.message);
  line["buttons"] = request.buttons;
  if (request.accessory == AlertAccessory::Checkbox) {
    line["checkboxTitle"] = request.checkboxTitle;
    line["checkbox"] = request.checkboxState;
  }
  write(line);
  // Nobody reads it: it is dismissed as soon as it is shown.
  if (onClose) postToMainQueue([onClose, state = request.checkboxState] { onClose(state); });
}

void ScriptFrontEnd::updateProgress(const ProgressUpdate& update) {
  ordered_json line;
  line["kind"] = "progress";
  if (update.name) line["name"] = *update.name;
  if (update.percent) line["percent"] = *update.percent;
  if (update.url) line["url"] = *update.url;
  if (update.message) line["message"] = *update.message;
  if (update.image) line["image"] = *update.image;
  write(line);
}

std::optional<std::string> ScriptFrontEnd::chooseFolder(const FolderPanelRequest& request) {
  nlohmann::json answer = nextAnswer();
  std::optional<std::string> folder;
  if (auto it = answer.find("folder"); it != answer.end() && it->is_string()) folder = it->get<std::string>();
  ordered_json line;
  line["kind"] = "folder";
  line["title"] = optionalText(request.title);
  line["message"] = optionalText(request.message);
  line["directory"] = optionalText(request.directory);
  line["result"] = optionalText(folder);
  write(line);
  return folder;
}

void ScriptFrontEnd::recordWorkspaceEvent(const nlohmann::json& event) {
  ordered_json line;
  line["kind"] = "workspace";
  for (auto it = event.begin(); it != event.end(); ++it)
    if (it.key() != "kind") line[it.key()] = it.value();
  write(line);
}

}  // namespace vantor::platform
