#pragma once
// makeString: the one formatter for the system's messages. It understands
// %@ %i %d %li %ld %lu %llu %u %s %f %.2f %.f %x %X %c %% (with flags, width and precision)
// and prints an absent value as "(null)".

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Error.h"
#include "foundation/Json.h"

namespace vantor {

class FormatArg {
 public:
  enum class Kind { Null, String, Int, UInt, Double, Bool, Value };

  FormatArg(std::nullptr_t) {}
  FormatArg(std::nullopt_t) {}
  FormatArg(const char* text) {
    if (text != nullptr) kind_ = Kind::String, text_ = text;
  }
  FormatArg(std::string_view text) : kind_(Kind::String), text_(text) {}
  FormatArg(const std::string& text) : kind_(Kind::String), text_(text) {}
  FormatArg(bool value) : kind_(Kind::Bool), int_(value ? 1 : 0) {}
  template <std::signed_integral T>
  FormatArg(T value) : kind_(Kind::Int), int_(static_cast<long long>(value)) {}
  template <std::unsigned_integral T>
    requires(!std::same_as<T, bool>)
  FormatArg(T value) : kind_(Kind::UInt), uint_(static_cast<unsigned long long>(value)) {}
  template <std::floating_point T>
  FormatArg(T value) : kind_(Kind::Double), double_(static_cast<double>(value)) {}
  FormatArg(const Json& value);
  FormatArg(const Error& error) : kind_(Kind::String), text_(error.description()) {}
  template <class T>
  FormatArg(const std::optional<T>& value) : FormatArg(std::nullptr_t{}) {
    if (value) *this = FormatArg(*value);
  }

  Kind kind() const { return kind_; }
  bool isNull() const { return kind_ == Kind::Null; }
  // What %@ prints: the object's description; "(null)" when absent.
  std::string description() const;
  long long asInt() const;
  unsigned long long asUInt() const;
  double asDouble() const;
  // The value as stored in a named-value dictionary: absent becomes "(null)".
  Json toJson() const;

 private:
  Kind kind_ = Kind::Null;
  std::string text_;
  long long int_ = 0;
  unsigned long long uint_ = 0;
  double double_ = 0;
  Json value_;
};

std::string formatString(std::string_view format, const std::vector<FormatArg>& args);

template <class... Args>
std::string makeString(std::string_view format, const Args&... args) {
  std::vector<FormatArg> list;
  list.reserve(sizeof...(Args));
  (list.emplace_back(args), ...);
  return formatString(format, list);
}

// The description of a dynamic value as %@ prints it: strings bare, numbers as written,
// booleans as 1 or 0, null as "<null>", containers as JSON text.
std::string describe(const Json& value);

}  // namespace vantor
