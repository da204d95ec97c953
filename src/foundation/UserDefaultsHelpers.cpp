#include "foundation/UserDefaultsHelpers.h"

#include <cstdlib>

#include "foundation/Log.h"
#include "platform/UserDefaults.h"

namespace vantor {

using platform::UserDefaults;

std::optional<std::string> defaultString(const std::string& key) {
  auto value = UserDefaults::standard().objectForKey(key);
  if (!value || !value->is_string()) return std::nullopt;
  return value->get<std::string>();
}

bool setDefaultString(const std::string& key, const std::string& value) {
  return UserDefaults::standard().setObject(key, value);
}

long defaultInt(const std::string& key) {
  auto value = UserDefaults::standard().objectForKey(key);
  if (!value) return 0;
  if (value->is_boolean()) return value->get<bool>() ? 1 : 0;
  if (value->is_number()) return static_cast<long>(value->get<double>());
  if (value->is_string()) return std::strtol(value->get<std::string>().c_str(), nullptr, 10);
  return 0;
}

bool setDefaultInt(const std::string& key, long value) { return UserDefaults::standard().setObject(key, value); }

void cc_defaults_addtoarray(const std::string& key, const Json& object, std::size_t maxCount) {
  auto& defaults = UserDefaults::standard();
  auto stored = defaults.objectForKey(key);
  Json array = stored && stored->is_array() ? *stored : Json::array();
  array.push_back(object);
  while (array.size() > maxCount) array.erase(array.begin());
  if (!defaults.setObject(key, array)) cc_log_error("Error: could not write the user defaults to %@", defaults.path());
}

std::optional<std::string> stringForKeyOfForeignApp(const std::string& key,
                                                    const std::optional<std::string>& bundleIdentifier) {
  if (!bundleIdentifier) {
    cc_log_error("Error: stringForKey:ofForeignApp: called with nil bundleID");
    return std::nullopt;
  }
  UserDefaults foreign(UserDefaults::preferencesPath(*bundleIdentifier));
  auto value = foreign.objectForKey(key);
  if (!value || !value->is_string()) return std::nullopt;
  return value->get<std::string>();
}

}  // namespace vantor
