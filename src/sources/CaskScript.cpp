#include "sources/CaskScript.h"

#include <atomic>
#include <mutex>
#include <regex>

#include "foundation/FileHelpers.h"
#include "foundation/StringHelpers.h"
#include "foundation/Task.h"
#include "foundation/Localization.h"
#include "platform/Bundle.h"
#include "platform/SystemVersion.h"

namespace vantor {

namespace {

std::atomic<double> gTimeLimitSeconds{CaskScript::kDefaultTimeLimitSeconds};
std::mutex gTestingMutex;
std::optional<std::string> gResourceFolder;
std::optional<std::vector<std::string>> gPreferredLanguages;

constexpr std::string_view kEllipsis = "\u2026";

// The list of collected lines becomes if ... else <last> end.
std::string closedBranches(std::vector<std::string> list) {
  list.insert(list.end() - 1, "else");
  list.emplace_back("end");
  std::string script;
  for (size_t i = 0; i < list.size(); ++i) script += (i ? "\n" : "") + list[i];
  return script;
}

// Token forms of a branch condition once "MacOS.version" is a number: numbers, release
// symbols, comparisons, boolean operators, parentheses, between? and plain conversions.
// Nothing here can call out of the interpreter.
const std::regex& conditionToken() {
  static const std::regex re(
      R"(^(?:[ \t]+|\d+(?:\.\d+)*|:[a-z_]+|'[^'\\]*'|<=>|<=|>=|==|!=|<|>|&&|\|\||!|\(|\)|,|\.between\?|\.to_[sif]\b|(?:and|or|not|then)\b))");
  return re;
}

bool isRunnableCondition(std::string_view condition) {
  std::string rest(condition);
  while (!rest.empty()) {
    if (rest[0] == '#') return true;  // trailing comment
    std::smatch match;
    if (!std::regex_search(rest, match, conditionToken()) || match.length(0) == 0) return false;
    rest.erase(0, static_cast<size_t>(match.length(0)));
  }
  return true;
}

bool isRunnableLine(std::string_view line) {
  static const std::regex blankOrKeyword(R"(^[ \t]*(?:else|end)?[ \t]*(?:#.*)?$)");
  // A literal that prints as written: single quotes without escapes, or double quotes
  // without escapes or interpolation (#{...}, #@, #$).
  // "version" stays when its value is double-quoted; the script defines no such method,
  // so Ruby stops there as it would on any cask line it cannot run.
  static const std::regex putsLiteral(
      R"(^[ \t]*(?:puts|version)[ \t]+(?:'[^'\\]*'|"(?:[^"\\#]|#(?![{@$]))*")[ \t]*(?:#.*)?$)");
  static const std::regex branch(R"(^[ \t]*(?:if|elsif)[ \t]+(.*)$)");
  for (unsigned char c : line)
    if (c < 0x20 && c != '\t') return false;
  std::string text(line);
  if (std::regex_match(text, blankOrKeyword) || std::regex_match(text, putsLiteral)) return true;
  std::smatch match;
  return std::regex_match(text, match, branch) && isRunnableCondition(match[1].str());
}

}  // namespace

const std::vector<CaskScript::ReleaseSymbol>& CaskScript::releaseSymbols() {
  static const std::vector<ReleaseSymbol> symbols = {
      {":tiger", 4},      {":leopard", 5},       {":snow_leopard", 6}, {":lion", 7},
      {":mountain_lion", 8}, {":mavericks", 9},  {":yosemite", 10},    {":el_capitan", 11},
      {":sierra", 12},    {":high_sierra", 13},  {":mojave", 14},      {":catalina", 15},
  };
  return symbols;
}

std::string CaskScript::withReleaseNumbers(std::string_view text, size_t first) {
  std::string out(text);
  const auto& symbols = releaseSymbols();
  for (size_t i = first; i < symbols.size(); ++i) out = replaced(out, symbols[i].symbol, std::to_string(symbols[i].minor));
  return out;
}

double CaskScript::timeLimitSeconds() { return gTimeLimitSeconds.load(); }
void CaskScript::setTimeLimitSecondsForTesting(double seconds) { gTimeLimitSeconds.store(seconds); }

long CaskScript::runningMinorVersion() { return platform::operatingSystemVersion().minorVersion; }

CaskScript::Run CaskScript::runRuby(const std::vector<std::string>& arguments) {
  std::vector<std::string> commandLine{kRubyPath, "-W0"};
  commandLine.insert(commandLine.end(), arguments.begin(), arguments.end());
  TaskOptions options;
  options.timeoutSeconds = timeLimitSeconds();
  Run run;
  run.output = runAsTaskWithTerminationStatus(commandLine, &run.status, options);
  return run;
}

void CaskScript::setResourceFolderForTesting(std::optional<std::string> folder) {
  std::lock_guard lock(gTestingMutex);
  gResourceFolder = std::move(folder);
}

std::optional<std::string> CaskScript::resourcePath(std::string_view name) {
  {
    std::lock_guard lock(gTestingMutex);
    if (gResourceFolder) {
      std::string path = stringByAppendingPathComponent(*gResourceFolder, name);
      return fileExists(path) ? std::optional(path) : std::nullopt;
    }
  }
  return platform::Bundle::main().pathForResource(std::string(name));
}

std::vector<std::string> CaskScript::preferredLanguages() {
  {
    std::lock_guard lock(gTestingMutex);
    if (gPreferredLanguages) return *gPreferredLanguages;
  }
  return preferredLanguages2Letter();
}

void CaskScript::setPreferredLanguagesForTesting(std::optional<std::vector<std::string>> languages) {
  std::lock_guard lock(gTestingMutex);
  gPreferredLanguages = std::move(languages);
}

std::string CaskScript::versionBranchScript(std::string_view caskfile, long minorVersion) {
  std::string text = withReleaseNumbers(caskfile, 0);
  std::vector<std::string> list;
  for (const std::string& line : lines(text)) {
    if (!list.empty() && line == "  end") break;
    if (contains(line, "version ") || contains(line, "if MacOS") || contains(line, "elsif MacOS"))
      list.push_back(trimmedOfWhitespace(line));
  }
  if (list.empty()) return "";
  std::string script = closedBranches(std::move(list));
  script = replaced(script, ":latest", "':latest'");
  script = replaced(script, "version '", "    puts '");
  return replaced(script, "MacOS.version", std::to_string(minorVersion));
}

std::string CaskScript::urlBranchScript(std::string_view caskfile, long minorVersion) {
  std::string text = withReleaseNumbers(caskfile, kFirstURLBranchSymbol);
  std::vector<std::string> list;
  for (const std::string& line : lines(text)) {
    if (contains(line, "url '") || contains(line, "url \"") || contains(line, "if MacOS") ||
        contains(line, "elsif MacOS")) {
      if (hasSuffix(line, ",")) list.push_back(line.substr(0, line.size() - 1));
      else list.push_back(trimmedOfWhitespace(line));
    }
  }
  if (list.empty()) return "";
  std::string script = closedBranches(std::move(list));
  script = replaced(script, "url '", "    puts '");
  script = replaced(script, "url \"", "    puts \"");
  script = replaced(script, "#{", kEllipsis);
  return replaced(script, "MacOS.version", std::to_string(minorVersion));
}

bool CaskScript::isRunnableBranchScript(std::string_view script, std::string* reason) {
  if (!isValidUTF8(script)) {
    if (reason != nullptr) *reason = "not UTF-8 text";
    return false;
  }
  for (const std::string& line : split(script, "\n")) {
    if (!isRunnableLine(line)) {
      if (reason != nullptr) *reason = line;
      return false;
    }
  }
  return true;
}

}  // namespace vantor
