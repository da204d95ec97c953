#include "install/InfoPlistValues.h"

#include <filesystem>

#include "foundation/DataHelpers.h"
#include "foundation/FileHelpers.h"
#include "foundation/Format.h"
#include "sources/ZRSUStandardVersionComparator.h"

namespace vantor::detail {

std::optional<Json> valueForKey(const Json& dictionary, std::string_view key) {
  if (!dictionary.is_object()) return std::nullopt;
  auto it = dictionary.find(key);
  if (it == dictionary.end()) return std::nullopt;
  return *it;
}

std::optional<std::string> stringValue(const Json& value) {
  if (value.is_string() || value.is_number() || value.is_boolean()) return describe(value);
  if (value.is_array()) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
      if (i > 0) out += ' ';
      out += describe(value[i]);
    }
    return out;
  }
  return std::nullopt;
}

std::optional<std::string> stringValue(const std::optional<Json>& value) {
  return value ? stringValue(*value) : std::nullopt;
}

std::optional<std::string> stringForKey(const Json& dictionary, std::string_view key) {
  return stringValue(valueForKey(dictionary, key));
}

bool isRegularFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

std::optional<std::uint64_t> regularFileSize(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  auto size = std::filesystem::file_size(path, ec);
  if (ec) return std::nullopt;
  return size;
}

std::optional<std::string> textOfFile(const std::string& path) {
  auto size = regularFileSize(path);
  if (!size || *size > kMaxReadableFileSize) return std::nullopt;
  auto data = contents(path);
  if (!data) return std::nullopt;
  if (data->empty()) return std::string();
  return stringFromData(*data);
}

int compareVersions(const std::optional<std::string>& a, const std::optional<std::string>& b) {
  return sources::ZRSUStandardVersionComparator::defaultComparator().compareVersion(a.value_or(""), b.value_or(""));
}

}  // namespace vantor::detail
