#include "foundation/Localization.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

#include "foundation/FileHelpers.h"
#include "foundation/StringHelpers.h"
#include "platform/Bundle.h"
#include "platform/Environment.h"

namespace vantor {
namespace {

// Reads one quoted string at text[i] (which is '"'); advances past its closing quote.
std::optional<std::string> readQuoted(std::string_view text, size_t& i) {
  std::string out;
  for (++i; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      ++i;
      return out;
    }
    if (c == '\\' && i + 1 < text.size()) {
      char e = text[++i];
      out += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
    } else {
      out += c;
    }
  }
  return std::nullopt;
}

const std::map<std::string, std::string>& table() {
  static const auto* loaded = [] {
    auto* entries = new std::map<std::string, std::string>();
    const auto& resources = platform::Bundle::main().resourcePath();
    if (!resources) return entries;
    for (const auto& language : preferredLanguages2Letter()) {
      auto text = contentsAsString(*resources + "/" + language + ".lproj/Localizable.strings");
      if (!text) continue;
      for (auto& [key, value] : detail::parseStringsTable(*text)) entries->emplace(std::move(key), std::move(value));
      break;
    }
    return entries;
  }();
  return *loaded;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> detail::parseStringsTable(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> entries;
  size_t i = 0;
  auto skipSpaceAndComments = [&] {
    for (;;) {
      while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
      if (text.substr(i, 2) == "//") {
        while (i < text.size() && text[i] != '\n') ++i;
      } else if (text.substr(i, 2) == "/*") {
        size_t end = text.find("*/", i + 2);
        i = end == std::string_view::npos ? text.size() : end + 2;
      } else {
        return;
      }
    }
  };
  while (true) {
    skipSpaceAndComments();
    if (i >= text.size()) break;
    if (text[i] != '"') {  // not an entry: skip the line
      while (i < text.size() && text[i] != '\n') ++i;
      continue;
    }
    auto key = readQuoted(text, i);
    skipSpaceAndComments();
    if (!key || i >= text.size() || text[i] != '=') continue;
    ++i;
    skipSpaceAndComments();
    if (i >= text.size() || text[i] != '"') continue;
    auto value = readQuoted(text, i);
    skipSpaceAndComments();
    if (i < text.size() && text[i] == ';') ++i;
    if (value) entries.emplace_back(std::move(*key), std::move(*value));
  }
  return entries;
}

std::vector<std::string> detail::languagesFromEnvironmentValues(const std::vector<std::string>& values) {
  std::vector<std::string> codes;
  for (const auto& value : values) {
    for (const auto& entry : split(value, ":")) {
      if (entry.size() < 2 || entry == "C" || entry == "POSIX" || hasPrefix(entry, "C.")) continue;
      std::string code = lowercased(entry.substr(0, 2));
      if (entry.size() > 2 && std::isalpha(static_cast<unsigned char>(entry[2]))) continue;  // "ast", not two letters
      if (std::find(codes.begin(), codes.end(), code) == codes.end()) codes.push_back(code);
    }
  }
  if (std::find(codes.begin(), codes.end(), "en") == codes.end()) codes.push_back("en");
  return codes;
}

const std::vector<std::string>& preferredLanguages2Letter() {
  static const auto* languages = [] {
    std::vector<std::string> values;
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
      if (auto value = platform::environmentValue(name)) values.push_back(*value);
    return new std::vector<std::string>(detail::languagesFromEnvironmentValues(values));
  }();
  return *languages;
}

std::string localized(std::string_view text) {
  const auto& entries = table();
  if (auto it = entries.find(std::string(text)); it != entries.end()) return it->second;
  return std::string(text);
}

}  // namespace vantor
