#include "foundation/StringHelpers.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <algorithm>

#include "foundation/Assert.h"
#include "platform/Environment.h"

namespace vantor {

// ---- UTF-8 ---------------------------------------------------------------

namespace {

// Decodes one code point at text[i]; advances i. Invalid sequences give U+FFFD and
// consume one byte.
char32_t decodeOne(std::string_view text, size_t& i, bool* valid = nullptr) {
  auto bad = [&]() -> char32_t {
    ++i;
    if (valid != nullptr) *valid = false;
    return 0xFFFD;
  };
  unsigned char c = static_cast<unsigned char>(text[i]);
  if (c < 0x80) {
    ++i;
    return c;
  }
  int len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
  if (len == 0 || i + len > text.size()) return bad();
  char32_t cp = len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
  for (int k = 1; k < len; ++k) {
    unsigned char cc = static_cast<unsigned char>(text[i + k]);
    if ((cc & 0xC0) != 0x80) return bad();
    cp = (cp << 6) | (cc & 0x3F);
  }
  if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
    return bad();
  i += len;
  return cp;
}

template <class Pred>
std::vector<std::string> splitOnCharacters(std::string_view text, Pred isSeparator) {
  std::vector<std::string> parts(1);
  size_t i = 0;
  while (i < text.size()) {
    size_t start = i;
    char32_t c = decodeOne(text, i);
    if (isSeparator(c)) parts.emplace_back();
    else parts.back().append(text.substr(start, i - start));
  }
  return parts;
}

template <class Pred>
std::string trimmed(std::string_view text, Pred inSet) {
  std::u32string cps = toCodePoints(text);
  size_t b = 0, e = cps.size();
  while (b < e && inSet(cps[b])) ++b;
  while (e > b && inSet(cps[e - 1])) --e;
  // Re-slice the original bytes so invalid sequences stay as they were.
  size_t i = 0, cpIndex = 0, byteBegin = text.size(), byteEnd = text.size();
  while (i <= text.size()) {
    if (cpIndex == b && byteBegin == text.size()) byteBegin = i;
    if (cpIndex == e) {
      byteEnd = i;
      break;
    }
    if (i == text.size()) break;
    decodeOne(text, i);
    ++cpIndex;
  }
  if (b >= e) return "";
  return std::string(text.substr(byteBegin, byteEnd - byteBegin));
}

}  // namespace

bool isValidUTF8(std::string_view text) {
  bool valid = true;
  for (size_t i = 0; i < text.size() && valid;) decodeOne(text, i, &valid);
  return valid;
}

std::u32string toCodePoints(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) out.push_back(decodeOne(text, i));
  return out;
}

void appendUTF8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string fromCodePoints(std::u32string_view text) {
  std::string out;
  for (char32_t c : text) appendUTF8(out, c);
  return out;
}

bool isWhitespaceCharacter(char32_t c) {
  // Unicode Zs plus tab
  return c == 0x09 || c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}

bool isNewlineCharacter(char32_t c) {
  return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// ---- text operations -------------------------------------------------------

std::vector<std::string> split(std::string_view text, std::string_view separator) {
  std::vector<std::string> parts;
  if (separator.empty()) return {std::string(text)};
  size_t start = 0;
  for (;;) {
    size_t pos = text.find(separator, start);
    if (pos == std::string_view::npos) {
      parts.emplace_back(text.substr(start));
      return parts;
    }
    parts.emplace_back(text.substr(start, pos - start));
    start = pos + separator.size();
  }
}

std::optional<std::string> splitBeforeNull(std::string_view text, std::string_view separator) {
  size_t pos = text.find(separator);
  if (pos == std::string_view::npos) return std::nullopt;
  return std::string(text.substr(0, pos));
}

std::optional<std::string> splitAfterNull(std::string_view text, std::string_view separator) {
  size_t pos = text.find(separator);
  if (pos == std::string_view::npos) return std::nullopt;
  return std::string(text.substr(pos + separator.size()));
}

std::string splitBeforeFull(std::string_view text, std::string_view separator) {
  return splitBeforeNull(text, separator).value_or(std::string(text));
}

std::string splitAfterFull(std::string_view text, std::string_view separator) {
  return splitAfterNull(text, separator).value_or(std::string(text));
}

std::optional<std::string> between(std::string_view text, std::string_view first, std::string_view second) {
  auto after = splitAfterNull(text, first);
  if (!after) return std::nullopt;
  return splitBeforeNull(*after, second);
}

std::string replaced(std::string_view text, std::string_view search, std::string_view replacement) {
  if (search.empty()) return std::string(text);
  std::string out;
  size_t start = 0;
  for (;;) {
    size_t pos = text.find(search, start);
    if (pos == std::string_view::npos) break;
    out.append(text.substr(start, pos - start));
    out.append(replacement);
    start = pos + search.size();
  }
  out.append(text.substr(start));
  return out;
}

std::string removed(std::string_view text, std::string_view search) { return replaced(text, search, ""); }

std::string cleaned(std::string_view text) { return removed(removed(text, ";"), "&"); }

size_t count(std::string_view text, std::string_view search) {
  if (search.empty()) return 0;
  return split(text, search).size() - 1;
}

bool contains(std::string_view text, std::string_view search) {
  return !search.empty() && text.find(search) != std::string_view::npos;
}
bool hasPrefix(std::string_view text, std::string_view prefix) {
  return !prefix.empty() && text.substr(0, prefix.size()) == prefix;
}
bool hasSuffix(std::string_view text, std::string_view suffix) {
  return !suffix.empty() && text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool containsAny(std::string_view text, const std::vector<std::string>& candidates) {
  return std::any_of(candidates.begin(), candidates.end(), [&](const std::string& c) { return contains(text, c); });
}
bool hasAnySuffix(std::string_view text, const std::vector<std::string>& candidates) {
  return std::any_of(candidates.begin(), candidates.end(), [&](const std::string& c) { return hasSuffix(text, c); });
}
bool equalsAny(std::string_view text, const std::vector<std::string>& candidates) {
  return std::any_of(candidates.begin(), candidates.end(), [&](const std::string& c) { return text == c; });
}

std::vector<std::string> words(std::string_view text) { return splitOnCharacters(text, isWhitespaceCharacter); }
std::vector<std::string> lines(std::string_view text) { return splitOnCharacters(text, isNewlineCharacter); }

std::string stringByDeletingCharacters(std::string_view text, bool (*inSet)(char32_t)) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    size_t start = i;
    char32_t c = decodeOne(text, i);
    if (!inSet(c)) out.append(text.substr(start, i - start));
  }
  return out;
}

std::string strippedOfNewlines(std::string_view text) { return stringByDeletingCharacters(text, isNewlineCharacter); }

std::string trimmedOfWhitespace(std::string_view text) { return trimmed(text, isWhitespaceCharacter); }

std::string trimmedOfWhitespaceAndNewlines(std::string_view text) {
  return trimmed(text, [](char32_t c) { return isWhitespaceCharacter(c) || isNewlineCharacter(c); });
}

std::string clamp(std::string_view text, size_t characters) {
  size_t i = 0, n = 0;
  while (i < text.size() && n < characters) decodeOne(text, i), ++n;
  return std::string(text.substr(0, i));
}

std::string slicingSubstringToIndex(std::string_view text, long index) {
  std::u32string cps = toCodePoints(text);
  long n = static_cast<long>(cps.size());
  long end = index < 0 ? n + index : index;
  end = std::clamp(end, 0L, n);
  return fromCodePoints(std::u32string_view(cps).substr(0, static_cast<size_t>(end)));
}

char32_t lastCharacter(std::string_view text) {
  std::u32string cps = toCodePoints(text);
  return cps.empty() ? 0 : cps.back();
}

std::string stringByReplacingMultipleStrings(std::string_view text,
                                             const std::vector<std::pair<std::string, std::string>>& replacements) {
  VANTOR_ASSERT(text.find(kPrivateMarker) == std::string_view::npos);
  std::string out(text);
  for (const auto& [search, replacement] : replacements)
    if (!search.empty()) out = replaced(out, search, search + std::string(kPrivateMarker));
  bool changed = true;
  while (changed) {
    changed = false;
    for (const auto& [search, replacement] : replacements) {
      if (search.empty()) continue;
      std::string marked = search + std::string(kPrivateMarker);
      std::string next = replaced(out, marked, replacement);
      if (next != out) {
        out = std::move(next);
        changed = true;
      }
    }
  }
  return out;
}

std::optional<std::string> rot13(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
    if (c >= 'a' && c <= 'z') c = static_cast<char>('a' + (c - 'a' + 13) % 26);
    else if (c >= 'A' && c <= 'Z') c = static_cast<char>('A' + (c - 'A' + 13) % 26);
  }
  return out;
}

std::string lowercased(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string uppercased(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) { return lowercased(a) == lowercased(b); }

bool containsIgnoringCase(std::string_view text, std::string_view search) {
  return contains(lowercased(text), lowercased(search));
}

// ---- encodings and digests -------------------------------------------------

std::vector<std::uint8_t> dataFromHexString(std::string_view text) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::vector<std::uint8_t> out;
  out.reserve(text.size() / 2);
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    // like strtol on the pair: digits are read as far as they go
    int hi = digit(text[i]);
    int value = 0;
    if (hi >= 0) {
      int lo = digit(text[i + 1]);
      value = lo >= 0 ? hi * 16 + lo : hi;
    }
    out.push_back(static_cast<std::uint8_t>(value));
  }
  return out;
}

std::string hexString(const std::uint8_t* bytes, size_t length) {
  static const char* hex = "0123456789abcdef";
  std::string out;
  out.reserve(length * 2);
  for (size_t i = 0; i < length; ++i) {
    out += hex[bytes[i] >> 4];
    out += hex[bytes[i] & 15];
  }
  return out;
}

std::string SHA1(std::string_view text) {
  unsigned char digest[SHA_DIGEST_LENGTH];
  ::SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
  return hexString(digest, sizeof digest);
}

std::string SHA256(std::string_view text) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  ::SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
  return hexString(digest, sizeof digest);
}

std::string percentEncoded(std::string_view text, std::string_view allowed) {
  static const char* hex = "0123456789ABCDEF";
  auto isAsciiAlnum = [](unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  };
  std::string out;
  for (unsigned char c : text) {
    if (isAsciiAlnum(c) || allowed.find(static_cast<char>(c)) != std::string_view::npos) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string escaped(std::string_view text) { return percentEncoded(text, "!$&'()*+,-./:;=?@_~"); }

std::string encoded(std::string_view text) { return percentEncoded(text, ""); }

std::string unescaped(std::string_view text) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && digit(text[i + 1]) >= 0 && digit(text[i + 2]) >= 0) {
      out += static_cast<char>(digit(text[i + 1]) * 16 + digit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string base64String(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3), '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  out.resize(static_cast<size_t>(std::max(n, 0)));
  return out;
}

std::optional<std::string> dataFromBase64String(std::string_view text) {
  std::string clean;
  for (char c : text)
    if (!isspace(static_cast<unsigned char>(c))) clean += c;
  if (clean.size() % 4 != 0) return std::nullopt;
  std::string out(3 * clean.size() / 4, '\0');
  int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(clean.data()), static_cast<int>(clean.size()));
  if (n < 0) return std::nullopt;
  size_t pad = clean.empty() ? 0 : (clean.back() == '=') + (clean.size() > 1 && clean[clean.size() - 2] == '=');
  out.resize(static_cast<size_t>(n) - pad);
  return out;
}

// ---- paths -----------------------------------------------------------------

std::string lastPathComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  if (path == "/") return "/";
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string pathExtension(std::string_view path) {
  std::string last = lastPathComponent(path);
  size_t dot = last.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == last.size()) return "";
  return last.substr(dot + 1);
}

std::string stringByDeletingPathExtension(std::string_view path) {
  std::string p(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  std::string ext = pathExtension(p);
  if (ext.empty()) return p;
  return p.substr(0, p.size() - ext.size() - 1);
}

std::string stringByDeletingLastPathComponent(std::string_view path) {
  std::string p(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  size_t slash = p.rfind('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return "/";
  return p.substr(0, slash);
}

std::string stringByAppendingPathComponent(std::string_view path, std::string_view component) {
  std::string p(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  while (!component.empty() && component.front() == '/') component.remove_prefix(1);
  if (p.empty()) return std::string(component);
  if (component.empty()) return p;
  if (p == "/") return "/" + std::string(component);
  return p + "/" + std::string(component);
}

std::string expanded(std::string_view path) {
  if (path.empty() || path.front() != '~') return std::string(path);
  if (path.size() > 1 && path[1] != '/') return std::string(path);  // ~user is not expanded
  return platform::homeDirectory() + std::string(path.substr(1));
}

}  // namespace vantor
