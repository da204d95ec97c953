#include "foundation/JsonValue.h"

#include <cmath>
#include <limits>
#include <string>

namespace vantor {

namespace {

size_t skipWhitespace(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
  return i;
}

long long leadingInteger(const std::string& text) {
  size_t i = skipWhitespace(text);
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr long long kMax = std::numeric_limits<long long>::max();
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    int digit = text[i] - '0';
    if (value > (kMax - digit) / 10) return negative ? std::numeric_limits<long long>::min() : kMax;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

}  // namespace

long long integerValue(const Json& value) {
  switch (value.type()) {
    case Json::value_t::boolean: return value.get<bool>() ? 1 : 0;
    case Json::value_t::number_integer: return value.get<long long>();
    case Json::value_t::number_unsigned: {
      auto n = value.get<unsigned long long>();
      return n > static_cast<unsigned long long>(std::numeric_limits<long long>::max())
                 ? std::numeric_limits<long long>::max()
                 : static_cast<long long>(n);
    }
    case Json::value_t::number_float: {
      double d = value.get<double>();
      if (std::isnan(d)) return 0;
      if (d >= 9.2e18) return std::numeric_limits<long long>::max();
      if (d <= -9.2e18) return std::numeric_limits<long long>::min();
      return static_cast<long long>(d);
    }
    case Json::value_t::string: return leadingInteger(value.get_ref<const std::string&>());
    default: return 0;
  }
}

long long integerValue(const std::optional<Json>& value) { return value ? integerValue(*value) : 0; }

bool boolValue(const Json& value) {
  if (value.is_number_float()) return value.get<double>() != 0;
  if (!value.is_string()) return integerValue(value) != 0;
  const auto& text = value.get_ref<const std::string&>();
  size_t i = skipWhitespace(text);
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  while (i < text.size() && text[i] == '0') ++i;
  if (i >= text.size()) return false;
  char c = text[i];
  return (c >= '1' && c <= '9') || c == 'Y' || c == 'y' || c == 'T' || c == 't';
}

bool boolValue(const std::optional<Json>& value) { return value && boolValue(*value); }

}  // namespace vantor
