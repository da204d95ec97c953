#include "support/HelperSandbox.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "platform/PropertyList.h"
#include "signer/CatalogSigner.h"
#include "vantor/BuildSettings.h"

namespace vantor::test {

HelperSandbox::HelperSandbox() {
  std::filesystem::create_directories(home());
  std::filesystem::create_directories(runtime());
  ::chmod(runtime().c_str(), 0700);
}

std::string HelperSandbox::socketPath() const {
  return runtime() + "/" + build::kBundleIdentifier + ".socket";
}

void HelperSandbox::writeCatalog(const std::string& json) const {
  auto file = signer::signCatalogWithKeyFile(json, signer::defaultPrivateKeyPath());
  if (!file) throw std::runtime_error("the test catalog can not be signed");
  std::string path = home() + "/Library/Application Support/Vantor/config.json.encr";
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  writeFile(path, std::string(file->begin(), file->end()));
}

void HelperSandbox::writeDefaults(const nlohmann::json& values) const {
  auto text = platform::xmlPropertyList(values);
  if (!text) throw std::runtime_error("the test defaults can not be written");
  std::string path = home() + "/Library/Preferences/" + build::kBundleIdentifier + ".plist";
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  writeFile(path, *text);
}

void HelperSandbox::answers(const std::vector<nlohmann::json>& lines) const {
  std::string text;
  for (const auto& line : lines) text += line.dump() + "\n";
  writeFile(path("answers.jsonl"), text);
}

Environment HelperSandbox::environment(const Environment& extra) const {
  Environment env = {
      {"HOME", home()},
      {"XDG_RUNTIME_DIR", runtime()},
      {"VANTOR_UI", "script"},
      {"VANTOR_UI_TRANSCRIPT", transcriptPath()},
      {"VANTOR_UI_SCRIPT", path("answers.jsonl")},
      {"VANTOR_ONLINE", "1"},
  };
  for (const auto& [key, value] : extra) {
    auto same = std::find_if(env.begin(), env.end(), [&](const auto& entry) { return entry.first == key; });
    if (same != env.end()) same->second = value;
    else env.emplace_back(key, value);
  }
  return env;
}

platform::ProcessResult HelperSandbox::run(const std::vector<std::string>& arguments, const Environment& extra,
                                           double timeoutSeconds) const {
  std::vector<std::string> argv = {binaryPath("vantor-install-helper")};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  platform::RunOptions options;
  options.environment = environment(extra);
  options.timeoutSeconds = timeoutSeconds;
  return platform::runProcess(argv, options);
}

std::unique_ptr<platform::ChildProcess> HelperSandbox::start(const std::vector<std::string>& arguments,
                                                             const Environment& extra) const {
  std::vector<std::string> argv = {binaryPath("vantor-install-helper")};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  platform::ProcessOptions options;
  options.environment = environment(extra);
  options.discardOutput = true;
  std::string error;
  auto child = platform::ChildProcess::spawn(argv, options, &error);
  if (!child) throw std::runtime_error("the helper does not start: " + error);
  for (int i = 0; i < 400 && !std::filesystem::is_socket(socketPath()); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  return child;
}

std::vector<nlohmann::json> HelperSandbox::transcript() const {
  // Read while the helper may still write: a line not yet complete is left out.
  std::vector<nlohmann::json> entries;
  std::ifstream in(transcriptPath());
  std::string line;
  while (std::getline(in, line)) {
    auto entry = nlohmann::json::parse(line, nullptr, false);
    if (!entry.is_discarded()) entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<nlohmann::json> HelperSandbox::alerts() const {
  std::vector<nlohmann::json> found;
  for (auto& entry : transcript())
    if (entry.value("kind", "") == "alert") found.push_back(entry);
  return found;
}

bool HelperSandbox::waitForAlerts(std::size_t count, double seconds) const {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (alerts().size() < count) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

}  // namespace vantor::test
