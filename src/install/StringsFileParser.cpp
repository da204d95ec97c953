#include "install/StringsFileParser.h"

#include "foundation/DataHelpers.h"
#include "foundation/StringHelpers.h"

namespace vantor {
namespace {

bool isBareCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c == '+' || c == '/' || c == ':' || c == '.' || c == '-';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::optional<Json> run() {
    Json result = Json::object();
    if (!skipSpace()) return std::nullopt;
    bool braced = peek() == '{';
    if (braced) ++pos_;
    for (;;) {
      if (!skipSpace()) return std::nullopt;
      if (atEnd()) {
        if (braced) return std::nullopt;
        return result;
      }
      if (braced && peek() == '}') {
        ++pos_;
        if (!skipSpace() || !atEnd()) return std::nullopt;
        return result;
      }
      auto key = token();
      if (!key || !skipSpace()) return std::nullopt;
      std::string value;
      if (peek() == '=') {
        ++pos_;
        if (!skipSpace()) return std::nullopt;
        auto v = token();
        if (!v || !skipSpace()) return std::nullopt;
        value = std::move(*v);
      } else {
        value = *key;
      }
      if (peek() != ';') return std::nullopt;
      ++pos_;
      result[*key] = std::move(value);
    }
  }

 private:
  bool atEnd() const { return pos_ >= text_.size(); }
  char peek() const { return atEnd() ? '\0' : text_[pos_]; }

  // Skips white space and comments; false on an unterminated block comment.
  bool skipSpace() {
    while (!atEnd()) {
      char c = text_[pos_];
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
        ++pos_;
      } else if (text_.substr(pos_, 2) == "//") {
        size_t eol = text_.find_first_of("\r\n", pos_);
        pos_ = eol == std::string_view::npos ? text_.size() : eol;
      } else if (text_.substr(pos_, 2) == "/*") {
        size_t close = text_.find("*/", pos_ + 2);
        if (close == std::string_view::npos) return false;
        pos_ = close + 2;
      } else if (text_.substr(pos_, 3) == "\xEF\xBB\xBF") {
        pos_ += 3;  // a stray byte-order mark, as some editors leave after concatenation
      } else {
        break;
      }
    }
    return true;
  }

  std::optional<std::string> token() {
    char c = peek();
    if (c == '"' || c == '\'') return quoted(c);
    size_t start = pos_;
    while (!atEnd() && isBareCharacter(text_[pos_])) ++pos_;
    if (pos_ == start) return std::nullopt;
    return std::string(text_.substr(start, pos_ - start));
  }

  std::optional<std::string> quoted(char quote) {
    ++pos_;
    std::string out;
    char16_t pendingHigh = 0;
    auto flushHigh = [&] {
      if (pendingHigh != 0) appendUTF8(out, 0xFFFD);
      pendingHigh = 0;
    };
    while (!atEnd()) {
      char c = text_[pos_++];
      if (c == quote) {
        flushHigh();
        return out;
      }
      if (c != '\\') {
        flushHigh();
        out += c;
        continue;
      }
      if (atEnd()) return std::nullopt;
      char e = text_[pos_++];
      if (e == 'U' || e == 'u') {
        char32_t unit = 0;
        int digits = 0;
        while (digits < 4 && !atEnd() && hexValue(text_[pos_]) >= 0) unit = unit << 4 | hexValue(text_[pos_++]), ++digits;
        if (digits == 0) {
          flushHigh();
          out += e;
        } else if (unit >= 0xD800 && unit <= 0xDBFF) {
          flushHigh();
          pendingHigh = static_cast<char16_t>(unit);
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
          appendUTF8(out, pendingHigh != 0 ? 0x10000 + ((pendingHigh - 0xD800) << 10) + (unit - 0xDC00) : 0xFFFD);
          pendingHigh = 0;
        } else {
          flushHigh();
          appendUTF8(out, unit);
        }
        continue;
      }
      flushHigh();
      if (e >= '0' && e <= '7') {
        // Octal escapes name a byte; values above 127 are read as ISO Latin 1.
        int value = e - '0';
        for (int k = 0; k < 2 && !atEnd() && text_[pos_] >= '0' && text_[pos_] <= '7'; ++k) value = value * 8 + (text_[pos_++] - '0');
        appendUTF8(out, static_cast<char32_t>(value & 0xFF));
        continue;
      }
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'a': out += '\a'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'v': out += '\v'; break;
        default: out += e; break;  // \" \' \\ and any other character stand for themselves
      }
    }
    return std::nullopt;  // unterminated
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

std::optional<std::string> StringsFileParser::decodeText(std::string_view bytes) {
  if (bytes.size() >= 2) {
    auto b0 = static_cast<unsigned char>(bytes[0]), b1 = static_cast<unsigned char>(bytes[1]);
    if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF)) return decodeUTF16(bytes);
    if (b0 != 0 && b1 == 0) return decodeUTF16(bytes, false);
    if (b0 == 0 && b1 != 0) return decodeUTF16(bytes, true);
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  if (isValidUTF8(bytes)) return std::string(bytes);
  std::string out;
  for (unsigned char c : bytes) appendUTF8(out, c);
  return out;
}

std::optional<Json> StringsFileParser::parse(std::string_view bytes) {
  auto text = decodeText(bytes);
  if (!text) return std::nullopt;
  return Parser(*text).run();
}

}  // namespace vantor
