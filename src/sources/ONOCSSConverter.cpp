#include "sources/ONOCSSConverter.h"

#include <regex>
#include <vector>

#include "foundation/StringHelpers.h"

namespace vantor::sources {

namespace {

const std::regex& idPattern() {
  static const std::regex pattern(R"(\#([\w\-_]+))");
  return pattern;
}
const std::regex& classPattern() {
  static const std::regex pattern(R"(\.([^\.]+))");
  return pattern;
}
const std::regex& attributePattern() {
  static const std::regex pattern(R"(\[(\w+)\])");
  return pattern;
}
const std::regex& attributeValuePattern() {
  static const std::regex pattern(R"re(\[(\w+)=(?:"([^"]*)"|'([^']*)'|([^\]"']*))\])re");
  return pattern;
}
const std::regex& tagPattern() {
  static const std::regex pattern(R"(\*|[A-Za-z_][\w\-]*)");
  return pattern;
}

bool isWordCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
         static_cast<unsigned char>(c) >= 0x80;
}

std::optional<std::string> literal(const std::string& value) {
  if (value.find('\'') == std::string::npos) return "'" + value + "'";
  if (value.find('"') == std::string::npos) return "\"" + value + "\"";
  return std::nullopt;
}

// Matches one of the fixed patterns exactly at the start of text.
bool matchHere(std::string_view text, const std::regex& pattern, std::cmatch& match) {
  return std::regex_search(text.data(), text.data() + text.size(), match, pattern,
                           std::regex_constants::match_continuous);
}

// One compound selector ("a.b#c[d]") into a step "tag[predicates]"; nothing when it holds
// something else.
std::optional<std::string> convertCompound(std::string_view text) {
  std::string tag = "*";
  std::string predicates;
  std::cmatch match;
  if (matchHere(text, tagPattern(), match)) {
    tag = match.str(0);
    text.remove_prefix(static_cast<size_t>(match.length(0)));
  }
  while (!text.empty()) {
    if (text.front() == '#' && matchHere(text, idPattern(), match)) {
      auto value = literal(match.str(1));
      predicates += "[@id=" + *value + "]";
    } else if (text.front() == '.') {
      // A class name runs to the next piece; the pattern takes it from there.
      size_t end = 1;
      while (end < text.size() && isWordCharacter(text[end])) ++end;
      if (end == 1 || !matchHere(text.substr(0, end), classPattern(), match)) return std::nullopt;
      predicates += "[contains(concat(' ', normalize-space(@class), ' '), ' " + match.str(1) + " ')]";
      text.remove_prefix(end);
      continue;
    } else if (text.front() == '[' && matchHere(text, attributePattern(), match)) {
      predicates += "[@" + match.str(1) + "]";
    } else if (text.front() == '[' && matchHere(text, attributeValuePattern(), match)) {
      std::string value = match[2].matched ? match.str(2) : match[3].matched ? match.str(3) : match.str(4);
      auto quoted = literal(value);
      if (!quoted) return std::nullopt;
      predicates += "[@" + match.str(1) + "=" + *quoted + "]";
    } else {
      return std::nullopt;
    }
    text.remove_prefix(static_cast<size_t>(match.length(0)));
  }
  return tag + predicates;
}

std::optional<std::string> convertSelector(std::string_view selector) {
  std::string xpath;
  bool first = true;
  bool child = false;
  size_t i = 0;
  while (true) {
    while (i < selector.size() && (selector[i] == ' ' || selector[i] == '\t' || selector[i] == '\n')) ++i;
    if (i == selector.size()) break;
    if (selector[i] == '>') {
      if (first || child) return std::nullopt;
      child = true;
      ++i;
      continue;
    }
    size_t start = i;
    char quote = 0;
    bool inBrackets = false;
    while (i < selector.size()) {
      char c = selector[i];
      if (quote != 0) {
        if (c == quote) quote = 0;
      } else if (inBrackets) {
        if (c == '"' || c == '\'')
          quote = c;
        else if (c == ']')
          inBrackets = false;
      } else if (c == '[') {
        inBrackets = true;
      } else if (c == ' ' || c == '\t' || c == '\n' || c == '>') {
        break;
      }
      ++i;
    }
    auto step = convertCompound(selector.substr(start, i - start));
    if (!step) return std::nullopt;
    xpath += first ? "descendant-or-self::" : child ? "/" : "/descendant::";
    xpath += *step;
    first = false;
    child = false;
  }
  if (first || child) return std::nullopt;
  return xpath;
}

}  // namespace

std::optional<std::string> XPathFromCSS(std::string_view selector) {
  std::vector<std::string> alternatives;
  for (const std::string& part : split(selector, ",")) {
    auto xpath = convertSelector(part);
    if (!xpath) return std::nullopt;
    alternatives.push_back(*xpath);
  }
  std::string joined;
  for (const std::string& alternative : alternatives) joined += (joined.empty() ? "" : " | ") + alternative;
  return joined;
}

}  // namespace vantor::sources
