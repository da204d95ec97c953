#pragma once
// Helpers on dictionaries (Json objects).

#include <string>
#include <vector>

#include "foundation/Json.h"

namespace vantor {

// A copy with the one entry set or replaced (a non-dictionary counts as empty).
Json dictionaryBySettingValue(const Json& dictionary, const Json& value, const std::string& key);
// Whether any of the keys has a value (JSON null counts as none).
bool containsAny(const Json& dictionary, const std::vector<std::string>& keys);

}  // namespace vantor
