#pragma once
// The user's tags on a file, kept as the extended attribute
// "com.apple.metadata:_kMDItemUserTags" (a binary property list of strings, each a tag
// name optionally followed by a newline and a colour number). Results are errno values.

#include <optional>
#include <string>
#include <vector>

namespace vantor::platform {

class FileTags {
 public:
  static constexpr const char* kAttributeName = "com.apple.metadata:_kMDItemUserTags";

  // The tag names without their colours; empty when the item has none. Nothing (and
  // *errorNumber) when the item cannot be read or the attribute is malformed.
  static std::optional<std::vector<std::string>> tagNames(const std::string& path, int* errorNumber);
  // Replaces the item's tags; no names removes the attribute.
  static int setTagNames(const std::string& path, const std::vector<std::string>& names);
};

}  // namespace vantor::platform
