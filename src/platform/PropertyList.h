#pragma once
// Property lists (XML and binary) to and from the one dynamic value type.
// Strings, numbers, booleans, arrays and dictionaries map one to one; data becomes JSON
// binary; dates become ISO 8601 text in UTC; UIDs become numbers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace vantor::platform {

// Parses XML or binary property-list bytes; nothing when they are neither.
std::optional<nlohmann::json> parsePropertyList(const std::vector<std::uint8_t>& bytes);

// The value as an XML property list; nothing when it holds null values only.
std::optional<std::string> xmlPropertyList(const nlohmann::json& value);

// The value as a binary property list; nothing when it holds null values only.
std::optional<std::vector<std::uint8_t>> binaryPropertyList(const nlohmann::json& value);

// Writes bytes to path atomically (a temporary file in the same folder, then rename).
// On failure returns false and, when given, the errno of the failing call. durable: the
// data reaches the disk before the rename; a scratch file that no crash needs to
// survive can skip that wait.
bool writeFileAtomically(const std::string& path, std::string_view bytes, int* errorNumber = nullptr,
                         bool durable = true);

}  // namespace vantor::platform
