#include "foundation/DataHelpers.h"

#include "foundation/Log.h"
#include "foundation/StringHelpers.h"

namespace vantor {

std::string dataDescriptionForLog(std::string_view data) {
  if (data.size() >= 200) data = data.substr(0, 150);
  std::string out = "<";
  std::string hex = hexString(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
  for (size_t i = 0; i < hex.size(); i += 8) {
    if (i > 0) out += ' ';
    out += hex.substr(i, 8);
  }
  return out + ">";
}

std::optional<std::string> decodeUTF16(std::string_view data, bool bigEndianWithoutBOM) {
  bool big = bigEndianWithoutBOM;
  size_t start = 0;
  if (data.size() >= 2) {
    auto b0 = static_cast<unsigned char>(data[0]), b1 = static_cast<unsigned char>(data[1]);
    if (b0 == 0xFF && b1 == 0xFE) big = false, start = 2;
    else if (b0 == 0xFE && b1 == 0xFF) big = true, start = 2;
  }
  if ((data.size() - start) % 2 != 0) return std::nullopt;
  std::string out;
  for (size_t i = start; i + 1 < data.size(); i += 2) {
    auto unit = [&](size_t k) -> char32_t {
      auto a = static_cast<unsigned char>(data[k]), b = static_cast<unsigned char>(data[k + 1]);
      return big ? (a << 8 | b) : (b << 8 | a);
    };
    char32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 3 >= data.size()) return std::nullopt;
      char32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
      u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      return std::nullopt;
    }
    appendUTF8(out, u);
  }
  return out;
}

std::optional<std::string> stringFromData(std::string_view data) {
  if (data.size() >= 2) {
    auto b0 = static_cast<unsigned char>(data[0]), b1 = static_cast<unsigned char>(data[1]);
    if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF))
      if (auto text = decodeUTF16(data)) return text;
  }
  if (data.size() >= 3 && data.substr(0, 3) == "\xEF\xBB\xBF") data.remove_prefix(3);
  if (isValidUTF8(data)) return std::string(data);
  // ISO Latin 1 decodes every byte sequence
  std::string out;
  for (unsigned char c : data) appendUTF8(out, c);
  return out;
}

std::optional<std::string> stringFromData(const Bytes& data) {
  return stringFromData(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

std::optional<std::string> stringUTF8(std::string_view data) {
  if (isValidUTF8(data)) return std::string(data);
  cc_log_error("Error: could not create UTF8 string from data %@", dataDescriptionForLog(data));
  return std::nullopt;
}

std::string SHA1(const Bytes& data) {
  return SHA1(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}
std::string SHA256(const Bytes& data) {
  return SHA256(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}
std::string base64String(const Bytes& data) {
  return base64String(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

std::optional<Json> JSONObject(std::string_view data) {
  try {
    return Json::parse(data);
  } catch (const std::exception& e) {
    cc_log_error("Error: JSON read fails! input %@ dict %@ err %@", dataDescriptionForLog(data), nullptr, e.what());
    return std::nullopt;
  }
}

namespace {
const char* className(const Json& value) {
  switch (value.type()) {
    case Json::value_t::array: return "__NSArrayI";
    case Json::value_t::object: return "__NSDictionaryI";
    case Json::value_t::string: return "NSTaggedPointerString";
    case Json::value_t::null: return "NSNull";
    case Json::value_t::boolean: return "__NSCFBoolean";
    default: return "__NSCFNumber";
  }
}
}  // namespace

std::optional<Json> JSONArray(std::string_view data) {
  auto value = JSONObject(data);
  if (!value) return std::nullopt;
  if (!value->is_array()) {
    cc_log_error("Error: JSON read fails! input is class %@ instead of array", className(*value));
    return std::nullopt;
  }
  return value;
}

std::optional<Json> JSONDictionary(std::string_view data) {
  auto value = JSONObject(data);
  if (!value) return std::nullopt;
  if (!value->is_object()) {
    cc_log_error("Error: JSON read fails! input is class %@ instead of dictionary", className(*value));
    return std::nullopt;
  }
  return value;
}

}  // namespace vantor
