#pragma once
// Reads ".strings" files in their old-style text form: `"key" = "value";` pairs (keys and
// values quoted with " or ', or bare words), `"key";` for a key that is its own value,
// C and C++ comments, backslash escapes (\n \t \" \\ \Uxxxx, octal \ooo), an optional
// enclosing { }. The bytes may be UTF-8 or UTF-16 in either order, with or without a
// byte-order mark. Any syntax error (an unterminated quote or comment, a missing ";")
// gives nothing rather than a partial dictionary.

#include <optional>
#include <string>
#include <string_view>

#include "foundation/Json.h"

namespace vantor {

class StringsFileParser {
 public:
  // A dictionary of strings, or nothing.
  static std::optional<Json> parse(std::string_view bytes);

  // The bytes as UTF-8 text: a byte-order mark decides; without one, a zero byte in
  // the first pair marks UTF-16 of that order; else UTF-8, or ISO Latin 1 when invalid.
  static std::optional<std::string> decodeText(std::string_view bytes);
};

}  // namespace vantor
