#include "platform/Workspace.h"

#include "platform/Environment.h"
#include "platform/FrontEnd.h"

namespace vantor::platform {
namespace {

std::mutex sharedMutex;
std::unique_ptr<Workspace>& sharedWorkspace() {
  static auto* holder = new std::unique_ptr<Workspace>();
  return *holder;
}

}  // namespace

Workspace& Workspace::shared() {
  std::lock_guard lock(sharedMutex);
  auto& current = sharedWorkspace();
  if (!current) {
    if (environmentValue("VANTOR_UI") == "script") current = std::make_unique<RecordingWorkspace>();
    else current = std::make_unique<DesktopWorkspace>();
  }
  return *current;
}

std::unique_ptr<Workspace> Workspace::setShared(std::unique_ptr<Workspace> workspace) {
  std::lock_guard lock(sharedMutex);
  auto previous = std::move(sharedWorkspace());
  sharedWorkspace() = std::move(workspace);
  return previous;
}

std::optional<RunningApplication> Workspace::launchApplicationAtURL(const std::string& path, std::string* error) {
  if (error != nullptr) *error = "No application was started for " + path;
  return std::nullopt;
}

std::optional<RunningApplication> RecordingWorkspace::launchApplicationAtURL(const std::string& path,
                                                                             std::string* error) {
  record("launch", path);
  if (error != nullptr) *error = "Only recorded, not launched: " + path;
  return std::nullopt;
}

bool RecordingWorkspace::record(const char* action, const std::string& path) {
  nlohmann::json event = {{"kind", "workspace"}, {"action", action}, {"path", path}};
  {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
  }
  frontEnd().recordWorkspaceEvent(event);
  return true;
}

std::vector<nlohmann::json> RecordingWorkspace::events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

}  // namespace vantor::platform
