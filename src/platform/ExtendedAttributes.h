#pragma once
// Extended attributes of one item. Names without a namespace ("com.apple.quarantine")
// live in the "user." namespace, where unprivileged programs may keep them; names that
// carry a namespace ("trusted.x", "security.y") are used as given. Results are errno
// values, as in FileSystem.h.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantor::platform {

class ExtendedAttributes {
 public:
  // The attribute's name as the system stores it.
  static std::string systemName(const std::string& name);

  // The size of the attribute's value, or -1 with *errorNumber set (ENODATA when the
  // item has no such attribute). noFollow reads a final symbolic link itself.
  static long size(const std::string& path, const std::string& name, bool noFollow, int* errorNumber);
  static std::optional<std::vector<std::uint8_t>> value(const std::string& path, const std::string& name,
                                                        bool noFollow, int* errorNumber);
  static int setValue(const std::string& path, const std::string& name, const std::vector<std::uint8_t>& value,
                      bool noFollow);
  static int remove(const std::string& path, const std::string& name, bool noFollow);
  // Every attribute name of the item, as the system stores it.
  static std::optional<std::vector<std::string>> names(const std::string& path, bool noFollow, int* errorNumber);
};

}  // namespace vantor::platform
