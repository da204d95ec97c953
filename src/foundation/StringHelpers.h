#pragma once
// Text helpers on UTF-8 strings, named after the methods the rest of the system uses.
// White space is the Unicode space separators plus tab; newlines are U+000A-U+000D,
// U+0085, U+2028 and U+2029. Absent results are std::nullopt, never "".

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor {

// UTF-8
bool isValidUTF8(std::string_view text);
// Decodes to code points; invalid bytes become U+FFFD.
std::u32string toCodePoints(std::string_view text);
std::string fromCodePoints(std::u32string_view text);
void appendUTF8(std::string& out, char32_t codePoint);
bool isWhitespaceCharacter(char32_t c);
bool isNewlineCharacter(char32_t c);

// Text operations
std::vector<std::string> split(std::string_view text, std::string_view separator);
std::optional<std::string> between(std::string_view text, std::string_view first, std::string_view second);
std::string splitBeforeFull(std::string_view text, std::string_view separator);
std::string splitAfterFull(std::string_view text, std::string_view separator);
std::optional<std::string> splitBeforeNull(std::string_view text, std::string_view separator);
std::optional<std::string> splitAfterNull(std::string_view text, std::string_view separator);
std::string replaced(std::string_view text, std::string_view search, std::string_view replacement);
std::string removed(std::string_view text, std::string_view search);
std::string cleaned(std::string_view text);
size_t count(std::string_view text, std::string_view search);
bool contains(std::string_view text, std::string_view search);
bool hasPrefix(std::string_view text, std::string_view prefix);
bool hasSuffix(std::string_view text, std::string_view suffix);
bool containsAny(std::string_view text, const std::vector<std::string>& candidates);
bool hasAnySuffix(std::string_view text, const std::vector<std::string>& candidates);
bool equalsAny(std::string_view text, const std::vector<std::string>& candidates);
std::vector<std::string> words(std::string_view text);
std::vector<std::string> lines(std::string_view text);
std::string strippedOfNewlines(std::string_view text);
std::string trimmedOfWhitespace(std::string_view text);
std::string trimmedOfWhitespaceAndNewlines(std::string_view text);
// Deletes every character for which the predicate holds.
std::string stringByDeletingCharacters(std::string_view text, bool (*inSet)(char32_t));
std::string clamp(std::string_view text, size_t characters);
std::string slicingSubstringToIndex(std::string_view text, long index);
char32_t lastCharacter(std::string_view text);
std::string stringByReplacingMultipleStrings(std::string_view text,
                                             const std::vector<std::pair<std::string, std::string>>& replacements);
std::optional<std::string> rot13(std::string_view text);
std::string lowercased(std::string_view text);  // ASCII and Latin-1 letters; others kept
std::string uppercased(std::string_view text);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool containsIgnoringCase(std::string_view text, std::string_view search);

// Encodings and digests
std::vector<std::uint8_t> dataFromHexString(std::string_view text);
std::string hexString(const std::uint8_t* bytes, size_t length);
std::string SHA1(std::string_view text);
std::string SHA256(std::string_view text);
// Every byte that is neither an ASCII letter or digit nor one of `allowed` as %XX.
std::string percentEncoded(std::string_view text, std::string_view allowed);
std::string escaped(std::string_view text);    // outside the URL-query set
std::string encoded(std::string_view text);    // every non-alphanumeric
std::string unescaped(std::string_view text);
std::string base64String(std::string_view bytes);
std::optional<std::string> dataFromBase64String(std::string_view text);

// Paths
std::string lastPathComponent(std::string_view path);
std::string pathExtension(std::string_view path);
std::string stringByDeletingPathExtension(std::string_view path);
std::string stringByDeletingLastPathComponent(std::string_view path);
std::string stringByAppendingPathComponent(std::string_view path, std::string_view component);
std::string expanded(std::string_view path);  // leading "~" to the home folder

// A private marker that cannot occur in processed text. Control bytes only: a letter in it
// could be matched by a search string after the marking pass and corrupt the marker.
inline constexpr std::string_view kPrivateMarker = "\x01\x02\x03\x04\x05\x06\x07\x0E\x0F\x10\x11\x12\x13\x14\x15\x16";
static_assert(kPrivateMarker.size() == 16);

}  // namespace vantor
