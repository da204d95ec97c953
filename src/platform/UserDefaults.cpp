#include "platform/UserDefaults.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "platform/Environment.h"
#include "platform/PropertyList.h"
#include "vantor/BuildSettings.h"

namespace vantor::platform {

UserDefaults& UserDefaults::standard() {
  static auto* defaults = new UserDefaults(preferencesPath(build::kBundleIdentifier));
  return *defaults;
}

std::string UserDefaults::preferencesPath(const std::string& bundleIdentifier) {
  return homeDirectory() + "/Library/Preferences/" + bundleIdentifier + ".plist";
}

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)) {}

void UserDefaults::loadLocked() {
  if (loaded_) return;
  loaded_ = true;
  std::ifstream in(path_, std::ios::binary);
  if (!in) return;
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (auto parsed = parsePropertyList(bytes); parsed && parsed->is_object()) values_ = std::move(*parsed);
}

bool UserDefaults::saveLocked() {
  auto xml = xmlPropertyList(values_);
  if (!xml) return false;
  std::string dir = path_.substr(0, path_.rfind('/'));
  // Make the folders on first write, as the system does for a new user.
  for (size_t pos = 1; pos != std::string::npos && pos <= dir.size(); pos = dir.find('/', pos + 1))
    ::mkdir(dir.substr(0, pos).c_str(), 0755);
  ::mkdir(dir.c_str(), 0755);
  return writeFileAtomically(path_, *xml);
}

std::optional<nlohmann::json> UserDefaults::objectForKey(const std::string& key) {
  std::lock_guard lock(mutex_);
  loadLocked();
  if (auto it = values_.find(key); it != values_.end()) return *it;
  if (auto it = registered_.find(key); it != registered_.end()) return *it;
  return std::nullopt;
}

bool UserDefaults::setObject(const std::string& key, const nlohmann::json& value) {
  std::lock_guard lock(mutex_);
  loadLocked();
  values_[key] = value;
  return saveLocked();
}

bool UserDefaults::removeObject(const std::string& key) {
  std::lock_guard lock(mutex_);
  loadLocked();
  values_.erase(key);
  return saveLocked();
}

void UserDefaults::registerDefaults(const nlohmann::json& dictionary) {
  std::lock_guard lock(mutex_);
  if (!dictionary.is_object()) return;
  for (auto it = dictionary.begin(); it != dictionary.end(); ++it) registered_[it.key()] = it.value();
}

bool UserDefaults::synchronize() {
  std::lock_guard lock(mutex_);
  loadLocked();
  return saveLocked();
}

}  // namespace vantor::platform
