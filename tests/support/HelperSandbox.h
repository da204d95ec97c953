#pragma once
// The real vantor-install-helper in a sandbox of its own: home and runtime folder in a
// temporary folder, the scripted front end with its answers and transcript, and a catalog
// signed with the demo key.
//
//   HelperSandbox sandbox;
//   sandbox.writeCatalog(R"({"bundleIDMapping":{"com.example.editor":{"cn":"editor"}}})");
//   sandbox.answers({{{"button", 1001}}});
//   auto result = sandbox.run({"vantor://com.example.editor"}, server.hostEnvironment());
//   auto alerts = sandbox.alerts();

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/ChildProcess.h"
#include "support/TestSupport.h"

namespace vantor::test {

using Environment = std::vector<std::pair<std::string, std::string>>;

class HelperSandbox {
 public:
  HelperSandbox();

  std::string home() const { return folder_ / "home"; }
  std::string runtime() const { return folder_ / "run"; }
  std::string transcriptPath() const { return folder_ / "transcript.jsonl"; }
  std::string socketPath() const;
  std::string path(const std::string& name) const { return folder_ / name; }

  // Signs the JSON catalog with the demo key into the product application's folder.
  void writeCatalog(const std::string& json) const;
  // The helper's user defaults file, as the helper reads it at start.
  void writeDefaults(const nlohmann::json& values) const;
  // The scripted answers, one per alert in order.
  void answers(const std::vector<nlohmann::json>& lines) const;

  // The sandbox's variables, then extra ones (replacing equal names).
  Environment environment(const Environment& extra = {}) const;
  // Runs the helper to its end (at most timeoutSeconds).
  platform::ProcessResult run(const std::vector<std::string>& arguments, const Environment& extra = {},
                              double timeoutSeconds = 120) const;
  // Starts the helper and waits until it holds its single-instance socket.
  std::unique_ptr<platform::ChildProcess> start(const std::vector<std::string>& arguments,
                                                const Environment& extra = {}) const;

  // Transcript entries, all or only the alerts.
  std::vector<nlohmann::json> transcript() const;
  std::vector<nlohmann::json> alerts() const;
  // Waits until the transcript holds count alerts; false when seconds pass first.
  bool waitForAlerts(std::size_t count, double seconds = 60) const;

 private:
  TempFolder folder_;
};

}  // namespace vantor::test
