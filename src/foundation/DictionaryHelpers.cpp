#include "foundation/DictionaryHelpers.h"

namespace vantor {

Json dictionaryBySettingValue(const Json& dictionary, const Json& value, const std::string& key) {
  Json out = dictionary.is_object() ? dictionary : Json::object();
  out[key] = value;
  return out;
}

bool containsAny(const Json& dictionary, const std::vector<std::string>& keys) {
  if (!dictionary.is_object()) return false;
  for (const auto& key : keys)
    if (auto it = dictionary.find(key); it != dictionary.end() && !it->is_null()) return true;
  return false;
}

}  // namespace vantor
