#include "foundation/Format.h"

#include <cstdio>

namespace vantor {

FormatArg::FormatArg(const Json& value) {
  if (value.is_string()) {
    kind_ = Kind::String;
    text_ = value.get<std::string>();
  } else if (value.is_boolean()) {
    kind_ = Kind::Bool;
    int_ = value.get<bool>() ? 1 : 0;
  } else if (value.is_number_unsigned()) {
    kind_ = Kind::UInt;
    uint_ = value.get<unsigned long long>();
  } else if (value.is_number_integer()) {
    kind_ = Kind::Int;
    int_ = value.get<long long>();
  } else if (value.is_number_float()) {
    kind_ = Kind::Double;
    double_ = value.get<double>();
  } else {
    kind_ = Kind::Value;
    value_ = value;
  }
}

std::string describe(const Json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_boolean()) return value.get<bool>() ? "1" : "0";
  if (value.is_null()) return "<null>";
  if (value.is_binary()) {
    static const char* hex = "0123456789abcdef";
    std::string out = "<";
    const auto& bytes = value.get_binary();
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (i > 0 && i % 4 == 0) out += ' ';
      out += hex[bytes[i] >> 4];
      out += hex[bytes[i] & 15];
    }
    return out + ">";
  }
  if (value.is_number_float()) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", value.get<double>());
    return buf;
  }
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string FormatArg::description() const {
  switch (kind_) {
    case Kind::Null: return "(null)";
    case Kind::String: return text_;
    case Kind::Int:
    case Kind::Bool: return std::to_string(int_);
    case Kind::UInt: return std::to_string(uint_);
    case Kind::Double: return describe(Json(double_));
    case Kind::Value: return describe(value_);
  }
  return "(null)";
}

long long FormatArg::asInt() const {
  switch (kind_) {
    case Kind::Int:
    case Kind::Bool: return int_;
    case Kind::UInt: return static_cast<long long>(uint_);
    case Kind::Double: return static_cast<long long>(double_);
    default: return 0;
  }
}

unsigned long long FormatArg::asUInt() const {
  return kind_ == Kind::UInt ? uint_ : static_cast<unsigned long long>(asInt());
}

double FormatArg::asDouble() const {
  switch (kind_) {
    case Kind::Double: return double_;
    case Kind::Int:
    case Kind::Bool: return static_cast<double>(int_);
    case Kind::UInt: return static_cast<double>(uint_);
    default: return 0;
  }
}

Json FormatArg::toJson() const {
  switch (kind_) {
    case Kind::Null: return "(null)";
    case Kind::String: return text_;
    case Kind::Int: return int_;
    case Kind::Bool: return int_ != 0;
    case Kind::UInt: return uint_;
    case Kind::Double: return double_;
    case Kind::Value: return value_;
  }
  return "(null)";
}

std::string formatString(std::string_view format, const std::vector<FormatArg>& args) {
  static const FormatArg kMissing(nullptr);
  std::string out;
  out.reserve(format.size() + 32);
  size_t next = 0;
  auto take = [&]() -> const FormatArg& { return next < args.size() ? args[next++] : kMissing; };

  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i + 1 >= format.size()) {
      out += '%';
      break;
    }
    // %[flags][width][.precision][length]conversion
    size_t j = i + 1;
    std::string directive = "%";
    while (j < format.size() && std::string_view("-+ #0").find(format[j]) != std::string_view::npos) directive += format[j++];
    while (j < format.size() && format[j] >= '0' && format[j] <= '9') directive += format[j++];
    if (j < format.size() && format[j] == '.') {
      directive += format[j++];
      while (j < format.size() && format[j] >= '0' && format[j] <= '9') directive += format[j++];
    }
    while (j < format.size() && std::string_view("hlqLzjt").find(format[j]) != std::string_view::npos) ++j;
    if (j >= format.size()) {
      out.append(format.substr(i));
      break;
    }
    char conv = format[j];
    char buf[512];
    switch (conv) {
      case '%': out += '%'; break;
      case '@': out += take().description(); break;
      case 's': {
        const FormatArg& a = take();
        out += a.isNull() ? std::string("(null)") : a.description();
        break;
      }
      case 'd':
      case 'i': std::snprintf(buf, sizeof buf, (directive + "lld").c_str(), take().asInt()); out += buf; break;
      case 'u': std::snprintf(buf, sizeof buf, (directive + "llu").c_str(), take().asUInt()); out += buf; break;
      case 'x':
      case 'X':
      case 'o': std::snprintf(buf, sizeof buf, (directive + "ll" + conv).c_str(), take().asUInt()); out += buf; break;
      case 'c': out += static_cast<char>(take().asInt()); break;
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G': std::snprintf(buf, sizeof buf, (directive + conv).c_str(), take().asDouble()); out += buf; break;
      default: out.append(format.substr(i, j - i + 1)); break;
    }
    i = j;
  }
  return out;
}

}  // namespace vantor
