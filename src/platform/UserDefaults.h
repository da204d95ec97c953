#pragma once
// User defaults: an XML property list at ~/Library/Preferences/<bundle identifier>.plist,
// read once and written atomically on every change; registered defaults live in memory
// only and answer where the file has no value.

#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace vantor::platform {

class UserDefaults {
 public:
  // The helper's own defaults (the bundle identifier of the build settings).
  static UserDefaults& standard();
  // The preferences file of the application with that bundle identifier.
  static std::string preferencesPath(const std::string& bundleIdentifier);

  explicit UserDefaults(std::string path);

  std::optional<nlohmann::json> objectForKey(const std::string& key);
  // Stores and writes the file; false when the file could not be written.
  bool setObject(const std::string& key, const nlohmann::json& value);
  bool removeObject(const std::string& key);
  void registerDefaults(const nlohmann::json& dictionary);
  // Writes the file now; false when it could not be written.
  bool synchronize();
  const std::string& path() const { return path_; }

 private:
  void loadLocked();
  bool saveLocked();

  std::mutex mutex_;
  std::string path_;
  bool loaded_ = false;
  nlohmann::json values_ = nlohmann::json::object();
  nlohmann::json registered_ = nlohmann::json::object();
};

}  // namespace vantor::platform
