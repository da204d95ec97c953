#pragma once
// The helper's user defaults by key, as the rest of the system reads and writes them.

#include <optional>
#include <string>

#include "foundation/Json.h"

namespace vantor {

// The string stored under key; nothing when absent or not a string.
std::optional<std::string> defaultString(const std::string& key);
bool setDefaultString(const std::string& key, const std::string& value);
// The integer under key: numbers, booleans and numeric strings count; 0 otherwise.
long defaultInt(const std::string& key);
bool setDefaultInt(const std::string& key, long value);

// Appends object to the array under key (a fresh one when missing or not an array) and
// drops the oldest entries beyond maxCount.
void cc_defaults_addtoarray(const std::string& key, const Json& object, std::size_t maxCount);

// The string value of key in another application's preferences; nothing when absent or
// not a string. With no bundle identifier logs and gives nothing.
std::optional<std::string> stringForKeyOfForeignApp(const std::string& key,
                                                    const std::optional<std::string>& bundleIdentifier);

}  // namespace vantor
