#include "foundation/NamedValues.h"

#include "foundation/StringHelpers.h"

namespace vantor {

std::optional<Json> makeDictionaryOfVariablesFromList(const std::optional<std::string_view>& names,
                                                      const std::vector<FormatArg>& values) {
  if (!names) return std::nullopt;
  Json dictionary = Json::object();
  size_t next = 0;
  for (const auto& name : split(*names, ",")) {
    Json value = next < values.size() ? values[next].toJson() : Json("(null)");
    ++next;
    dictionary[trimmedOfWhitespaceAndNewlines(name)] = std::move(value);
  }
  return dictionary;
}

std::string makeDescription(const Json& object, const std::vector<std::string>& keys) {
  std::string out;
  for (const auto& key : keys) {
    std::optional<Json> value;
    if (object.is_object())
      if (auto it = object.find(key); it != object.end()) value = *it;
    out += makeString("\n%@: %@", key, value);
  }
  return out;
}

}  // namespace vantor
