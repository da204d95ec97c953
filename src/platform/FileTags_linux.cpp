#include "platform/FileTags.h"

#include <plist/plist.h>

#include <cerrno>
#include <cstdlib>

#include "platform/ExtendedAttributes.h"
#include "platform/PropertyList.h"

namespace vantor::platform {

std::optional<std::vector<std::string>> FileTags::tagNames(const std::string& path, int* errorNumber) {
  int error = 0;
  auto bytes = ExtendedAttributes::value(path, kAttributeName, false, &error);
  if (errorNumber != nullptr) *errorNumber = 0;
  if (!bytes) {
    if (error == ENODATA || error == ENOTSUP) return std::vector<std::string>();
    if (errorNumber != nullptr) *errorNumber = error;
    return std::nullopt;
  }
  auto value = parsePropertyList(*bytes);
  if (!value || !value->is_array()) {
    if (errorNumber != nullptr) *errorNumber = EINVAL;
    return std::nullopt;
  }
  std::vector<std::string> names;
  for (const auto& entry : *value) {
    if (!entry.is_string()) continue;
    std::string name = entry.get<std::string>();
    if (size_t newline = name.rfind('\n'); newline != std::string::npos) name.resize(newline);
    names.push_back(std::move(name));
  }
  return names;
}

int FileTags::setTagNames(const std::string& path, const std::vector<std::string>& names) {
  if (names.empty()) {
    int result = ExtendedAttributes::remove(path, kAttributeName, false);
    return result == ENODATA ? 0 : result;
  }
  plist_t array = plist_new_array();
  for (const auto& name : names) plist_array_append_item(array, plist_new_string(name.c_str()));
  char* data = nullptr;
  uint32_t length = 0;
  plist_to_bin(array, &data, &length);
  plist_free(array);
  if (data == nullptr) return ENOMEM;
  std::vector<std::uint8_t> bytes(data, data + length);
  plist_to_bin_free(data);
  return ExtendedAttributes::setValue(path, kAttributeName, bytes, false);
}

}  // namespace vantor::platform
