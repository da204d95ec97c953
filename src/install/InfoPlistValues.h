#pragma once
// Reading Info.plist values the way the bundle reader needs them. Internal to install.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/Json.h"

namespace vantor::detail {

// The value under key of a dictionary; nothing when absent or not a dictionary.
std::optional<Json> valueForKey(const Json& dictionary, std::string_view key);

// A string stays, a number becomes its decimal text, a boolean "1" or "0", an array its
// elements' texts joined with blanks; nothing for anything else (a dictionary, data).
std::optional<std::string> stringValue(const Json& value);
std::optional<std::string> stringValue(const std::optional<Json>& value);
std::optional<std::string> stringForKey(const Json& dictionary, std::string_view key);

// No Info.plist, strings file or marker file comes near this; larger ones are not read.
inline constexpr std::uint64_t kMaxReadableFileSize = 64u << 20;

// A regular file, links followed. Anything else (a FIFO or a device that an archive
// placed in the bundle) could block a reader or never end.
bool isRegularFile(const std::string& path);
// Its size when it is a regular file, links followed.
std::optional<std::uint64_t> regularFileSize(const std::string& path);

// The file's text (UTF-8, UTF-16/32 with a byte-order mark, else ISO Latin 1); nothing
// when it is missing, not a regular file, larger than the limit or unreadable.
std::optional<std::string> textOfFile(const std::string& path);

// Compares with the standard version comparator, an absent version counting as "".
int compareVersions(const std::optional<std::string>& a, const std::optional<std::string>& b);

}  // namespace vantor::detail
