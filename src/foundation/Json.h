#pragma once
// The one dynamic value type: catalog records, user info, error events, property lists.

#include <nlohmann/json.hpp>

namespace vantor {
using Json = nlohmann::json;
}  // namespace vantor
