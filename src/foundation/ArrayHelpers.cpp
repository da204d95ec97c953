#include "foundation/ArrayHelpers.h"

#include "foundation/StringHelpers.h"

namespace vantor {

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out.append(separator);
    out += parts[i];
  }
  return out;
}

std::string joinedWithSpaces(const std::vector<std::string>& parts) { return joined(parts, " "); }
std::string joinedWithNewlines(const std::vector<std::string>& parts) { return joined(parts, "\n"); }

std::string concatenatedStrings(const Json& array) {
  std::string out;
  if (!array.is_array()) return out;
  for (const auto& element : array)
    if (element.is_string()) out += element.get<std::string>();
  return out;
}

std::string path(const std::vector<std::string>& components) {
  std::string out;
  for (const auto& component : components) {
    if (out.empty()) out = component;
    else out = stringByAppendingPathComponent(out, component);
  }
  return out;
}

Json dictionary(const std::vector<std::string>& keys) {
  Json out = Json::object();
  for (const auto& key : keys) out[key] = 1;
  return out;
}

}  // namespace vantor
