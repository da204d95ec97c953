#include "sources/CaskHelper.h"

#include <cerrno>
#include <cstring>

#include "download/HTTPRetryingDownloader.h"
#include "foundation/Alerts.h"
#include "foundation/Dispatch.h"
#include "foundation/FileHelpers.h"
#include "foundation/Format.h"
#include "foundation/Localization.h"
#include "foundation/Log.h"
#include "foundation/NamedValues.h"
#include "foundation/StringHelpers.h"
#include "foundation/URL.h"
#include "foundation/ZRHostInformation.h"
#include "platform/CallStack.h"
#include "platform/RunLoop.h"
#include "sources/CGIInfoHelper.h"
#include "sources/CaskScript.h"
#include "sources/ProductServer.h"

namespace vantor {

namespace {

constexpr std::string_view kConvertScript = "convertCaskDownloadURL.rb";
constexpr std::string_view kLanguageScript = "getCaskLanguageReplacement.rb";
constexpr std::string_view kFallbackLanguage = "en-US";

// The lines whose form trimmed of blanks begins with prefix, in text order.
std::vector<std::string> linesWithPrefix(std::string_view text, std::string_view prefix) {
  std::vector<std::string> found;
  for (std::string& line : lines(text))
    if (hasPrefix(trimmedOfWhitespace(line), prefix)) found.push_back(std::move(line));
  return found;
}

std::optional<std::string> lastLineWithPrefix(std::string_view text, std::string_view prefix) {
  auto found = linesWithPrefix(text, prefix);
  if (found.empty()) return std::nullopt;
  return found.back();
}

// Drops `first` characters at the front and `last` at the back; nothing when the text is
// shorter than both together.
std::optional<std::string> droppingCharacters(std::string_view text, size_t first, size_t last) {
  std::u32string cps = toCodePoints(text);
  if (cps.size() < first + last) return std::nullopt;
  return fromCodePoints(std::u32string_view(cps).substr(first, cps.size() - first - last));
}

// "Trim, remove the keyword, trim": the value part of a `keyword value` line.
std::string valueOfLine(std::string_view line, std::string_view keyword) {
  return trimmedOfWhitespace(removed(trimmedOfWhitespace(line), keyword));
}

// Named values for events and user info; with names given there always is a dictionary.
template <class... Args>
Json makeVariables(std::string_view names, const Args&... values) {
  return makeDictionaryOfVariables(names, values...).value_or(Json::object());
}

// Without room for a script the helper can do nothing useful; the user is told why.
[[noreturn]] void terminateForFullDisk() {
  auto tell = [] {
    alert_apptitled(localized("Vantor was unable to operate because your boot disk is completely full. Please ensure "
                              "that you have some free space before launching Vantor again."),
                    localized("OK"));
  };
  if (isMainThread()) tell();
  else dispatch_sync_main(tell);
  platform::exitProcess(1);
}

std::string firstLine(std::string_view caskfile) { return lines(caskfile).front(); }

// The comma, colon and dot parts of a version; a missing part is empty.
std::string part(std::string_view version, std::string_view separator, size_t k) {
  auto parts = split(version, separator);
  return k - 1 < parts.size() ? parts[k - 1] : std::string();
}

std::string joinedExisting(std::string_view version, size_t count) {
  auto parts = split(version, ".");
  std::string out;
  for (size_t i = 0; i < count && i < parts.size(); ++i) out += (i ? "." : "") + parts[i];
  return out;
}

// The placeholders that the table fills, in the order they are filled. The last two are
// filled too but are not in the known set, so a URL holding them goes to the converter.
struct Placeholder {
  const char* text;
  bool known;
  std::string (*value)(std::string_view version);
};

const std::vector<Placeholder>& placeholders() {
  static const std::vector<Placeholder> table = {
      {"#{version.before_comma.dots_to_underscores}", true,
       [](std::string_view v) { return replaced(part(v, ",", 1), ".", "_"); }},
      {"#{version.before_comma.no_dots}", true, [](std::string_view v) { return removed(part(v, ",", 1), "."); }},
      {"#{version.major_minor.no_dots}", true, [](std::string_view v) { return part(v, ".", 1) + part(v, ".", 2); }},
      {"#{version.dots_to_hyphens}", true, [](std::string_view v) { return replaced(v, ".", "-"); }},
      {"#{version.major_minor_patch}", true, [](std::string_view v) { return joinedExisting(v, 3); }},
      {"#{version.after_comma.before_colon}", true, [](std::string_view v) { return part(part(v, ",", 2), ":", 1); }},
      {"#{version.major_minor}", true, [](std::string_view v) { return joinedExisting(v, 2); }},
      {"#{version.dots_to_underscores}", true, [](std::string_view v) { return replaced(v, ".", "_"); }},
      {"#{version.after_comma}", true, [](std::string_view v) { return part(v, ",", 2); }},
      {"#{version.after_comma.dots_to_slashes}", true,
       [](std::string_view v) { return replaced(part(v, ",", 2), ".", "/"); }},
      {"#{version.before_comma}", true, [](std::string_view v) { return part(v, ",", 1); }},
      {"#{version.after_colon}", true, [](std::string_view v) { return part(v, ":", 2); }},
      {"#{version.major}", true, [](std::string_view v) { return part(v, ".", 1); }},
      {"#{version.minor}", true, [](std::string_view v) { return part(v, ".", 2); }},
      {"#{version.patch}", true, [](std::string_view v) { return part(v, ".", 3); }},
      {"#{version.no_dots}", true, [](std::string_view v) { return removed(v, "."); }},
      {"#{version.split('.').last}", false, [](std::string_view v) { return split(v, ".").back(); }},
      {"#{version.after_comma.major}", false, [](std::string_view v) { return part(part(v, ",", 2), ".", 1); }},
  };
  return table;
}

// Runs convertCaskDownloadURL.rb; shared by the download URL and the homepage.
struct Conversion {
  bool resourceMissing = false;
  CaskScript::Run run;
};

Conversion convert(std::string_view version, std::string_view url, std::string_view caskfile) {
  Conversion conversion;
  std::string language(kFallbackLanguage);
  if (contains(url, "#{language}")) language = CaskHelper::getPreferredLanguageFromCaskfile(caskfile);
  auto script = CaskScript::resourcePath(kConvertScript);
  if (!script) {
    conversion.resourceMissing = true;
    return conversion;
  }
  conversion.run = CaskScript::runRuby({*script, std::string(version), std::string(url), language});
  return conversion;
}

std::string missingResourceDescription(std::string_view name) {
  return makeString("the bundle resource %@ was not found", name);
}

// Writes a generated script into a fresh temporary folder, runs it and removes the folder.
// Nothing when the script could not be written or Ruby gave no output.
struct ScriptFileRun {
  std::optional<CaskScript::Run> run;
  int writeErrno = 0;
};

ScriptFileRun runScriptFile(const std::string& path, const std::string& script) {
  ScriptFileRun result;
  if (!writeContentsAtomically(path, script, &result.writeErrno)) {
    removeItem(stringByDeletingLastPathComponent(path));
    return result;
  }
  result.run = CaskScript::runRuby({path});
  removeItem(path);
  removeItem(stringByDeletingLastPathComponent(path));
  return result;
}

}  // namespace

// ---- Names and validity -----------------------------------------------------------

std::string CaskHelper::getCaskURLForCaskname(std::string_view caskName) {
  const char* repository = "homebrew-cask";
  std::string_view name = caskName;
  switch (name.empty() ? '\0' : name.front()) {
    case '@':
      repository = "homebrew-versions";
      break;
    case '=':
      repository = "homebrew-drivers";
      break;
    case '$':
      return "https://" + ProductServer::makerHost() + ProductServer::makerCaskPath(name.substr(1));
    default:
      return makeString("https://%@/caskroom/%@/master/Casks/%@.rb", ProductServer::caskHost(), repository, name);
  }
  return makeString("https://%@/caskroom/%@/master/Casks/%@.rb", ProductServer::caskHost(), repository,
                    name.substr(1));
}

bool CaskHelper::isValidCaskfile(std::string_view data) {
  if (data.empty() || !isValidUTF8(data)) return false;
  return lines(data).size() >= 6 && contains(data, "cask") && contains(data, "end");
}

bool CaskHelper::isValidCaskfile(const Bytes& data) {
  return isValidCaskfile(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

// ---- Own download ---------------------------------------------------------------

std::optional<std::string> CaskHelper::downloadCaskfile(std::string_view caskName, double timeout, int maximumRetries,
                                                        double waitingTime) {
  return downloadCaskfileFromURL(getCaskURLForCaskname(caskName), timeout, maximumRetries, waitingTime);
}

std::optional<std::string> CaskHelper::downloadCaskfileFromURL(const std::string& url, double timeout,
                                                               int maximumRetries, double waitingTime) {
  auto parsed = URL::parse(url);
  if (!parsed) return std::nullopt;
  HTTPRetryingDownloader downloader;
  auto data = downloader.downloadURL(*parsed, timeout, maximumRetries, waitingTime,
                                     [](const Bytes& bytes) { return isValidCaskfile(bytes); });
  if (!data) return std::nullopt;
  std::string text(data->bytes.begin(), data->bytes.end());
  auto pieces = split(text, "cask '");
  if (pieces.size() >= 3) {
    // A server that glued several casks together: keep the first cask block only.
    std::string symbols;
    for (const std::string& symbol : platform::callStackSymbols()) symbols += (symbols.empty() ? "" : "|") + symbol;
    CGIInfoHelper::collectErrorEvent(205, makeVariables("retryCount, caskfileContents, symbols, mt",
                                                        data->associatedValue, text, symbols,
                                                        ZRHostInformation::machineType()));
    return "cask '" + pieces[1];
  }
  return text;
}

// ---- Plain facts ------------------------------------------------------------------

std::optional<std::string> CaskHelper::getAppnameFromCaskfile(std::string_view caskfile) {
  auto appLines = linesWithPrefix(caskfile, "app '");
  if (appLines.size() == 1 && toCodePoints(trimmedOfWhitespace(appLines[0])).size() >= 11) {
    auto name = between(appLines[0], "app '", ".app'");
    if (!name) return std::nullopt;
    if (auto slash = name->rfind('/'); slash != std::string::npos) return name->substr(slash + 1);
    return name;
  }
  auto nameLine = lastLineWithPrefix(caskfile, "name '");
  if (!nameLine) return std::nullopt;
  std::string line = trimmedOfWhitespace(*nameLine);
  if (toCodePoints(line).size() < 8) return std::nullopt;
  return droppingCharacters(line, 6, 1);
}

std::optional<std::string> CaskHelper::getSHA256FromCaskfile(std::string_view caskfile) {
  if (contains(caskfile, "sha256 :no_check")) return ":no_check";
  auto line = lastLineWithPrefix(caskfile, "sha256 '");
  if (!line) return std::nullopt;
  return droppingCharacters(valueOfLine(*line, "sha256 "), 1, 1);
}

std::optional<std::string> CaskHelper::getVersionFromCaskfile(std::string_view caskfile) {
  auto versionLines = linesWithPrefix(caskfile, "version ");
  if (versionLines.empty()) return std::nullopt;
  std::string line = versionLines.back();
  if (versionLines.size() > 1) {
    if (auto chosen = _getRubyVersionFromCaskfile(caskfile)) line = *chosen;
  }
  if (contains(line, ":latest")) return ":latest";
  return droppingCharacters(valueOfLine(line, "version "), 1, 1);
}

std::optional<int> CaskHelper::getOSRequirementFromCaskfile(std::string_view caskfile) {
  constexpr std::string_view kPrefix = "depends_on macos: '>= ";
  if (!contains(caskfile, std::string(kPrefix) + ":")) return std::nullopt;
  for (const auto& release : CaskScript::releaseSymbols())
    if (contains(caskfile, std::string(kPrefix) + release.symbol + "'")) return release.minor;
  return std::nullopt;
}

// ---- OS branches ------------------------------------------------------------------

std::optional<std::string> CaskHelper::_getRubyVersionFromCaskfile(std::string_view caskfile) {
  std::string script = CaskScript::versionBranchScript(caskfile, CaskScript::runningMinorVersion());
  std::string refused;
  if (!CaskScript::isRunnableBranchScript(script, &refused)) {
    cc_log_error("Error: _getRubyVersionsFromCaskfile refused to run the cask line %@", refused);
    return std::nullopt;
  }
  auto path = makeTempFilepath("rb");
  if (!path) {
    cc_log_error("Error: makeTempFilepath failed error");
    return std::nullopt;
  }
  ScriptFileRun result = runScriptFile(*path, script);
  if (!result.run) {
    std::string writeError = makeString("%@ (errno %i)", std::string(std::strerror(result.writeErrno)),
                                        result.writeErrno);
    cc_log_error("Error: _getRubyVersionsFromCaskfile could not write its script %@: %@", *path, writeError);
    if (result.writeErrno == ENOSPC) terminateForFullDisk();
    return std::nullopt;
  }
  const auto& output = result.run->output;
  if (!output) {
    cc_log_error("Error: _getRubyVersionsFromCaskfile did get nil output");
    return std::nullopt;
  }
  if (contains(lowercased(*output), "error")) {
    CGIInfoHelper::collectErrorEvent(204, makeVariables("caskfileContents, output, wearesosorry, writeError.description",
                                                         caskfile, *output, "we are lying with the error code",
                                                         nullptr));
    // An error message is no version: let the caller fall back to the last version line.
    return std::nullopt;
  }
  std::string version = trimmedOfWhitespaceAndNewlines(*output);
  if (version.empty()) return std::nullopt;
  return makeString("version '%@'", version);
}

std::optional<std::string> CaskHelper::_getRubyURLFromCaskfile(std::string_view caskfile) {
  std::string script = CaskScript::urlBranchScript(caskfile, CaskScript::runningMinorVersion());
  std::string refused;
  if (!CaskScript::isRunnableBranchScript(script, &refused)) {
    cc_log_error("Error: _getRubyURLFromCaskfile refused to run the cask line %@", refused);
    return std::nullopt;
  }
  auto path = makeTempFilepath("rb");
  if (!path) {
    cc_log_error("Error: makeTempFilepath failed error");
    return std::nullopt;
  }
  ScriptFileRun result = runScriptFile(*path, script);
  if (!result.run) {
    cc_log_error("Error: _getRubyURLFromCaskfile could not write its script %@: %@", *path,
                 std::string(std::strerror(result.writeErrno)));
    return std::nullopt;
  }
  const auto& output = result.run->output;
  if (!output) {
    cc_log_error("Error: _getRubyURLFromCaskfile did get nil output");
    return std::nullopt;
  }
  if (contains(*output, "syntax error")) {
    // Url lines in language blocks rather than OS branches: take the default block's.
    std::string text = CaskScript::withReleaseNumbers(caskfile, CaskScript::kFirstURLBranchSymbol);
    if (auto afterDefault = splitAfterNull(text, "default: true do")) {
      for (const std::string& line : lines(*afterDefault))
        if (hasPrefix(trimmedOfWhitespace(line), "url ")) return line;
    }
    cc_log_error("Error: _getRubyURLFromCaskfile did get syntax error");
    return std::nullopt;
  }
  if (result.run->status != 0) {
    cc_log_error("Error: _getRubyURLFromCaskfile did get status %i: %@", result.run->status, *output);
    return std::nullopt;
  }
  std::string url = trimmedOfWhitespaceAndNewlines(replaced(*output, "\u2026", "#{"));
  if (url.empty()) return std::nullopt;
  return makeString("url '%@'", url);
}

// ---- Download URL -----------------------------------------------------------------

std::optional<std::string> CaskHelper::getUnprocessedDownloadURLFromCaskfile(std::string_view caskfile) {
  auto urlLines = linesWithPrefix(caskfile, "url ");
  if (urlLines.empty()) return std::nullopt;
  std::string line = urlLines[0];
  if (urlLines.size() > 1) {
    auto chosen = _getRubyURLFromCaskfile(caskfile);
    if (!chosen) return std::nullopt;
    line = *chosen;
  }
  std::string url = valueOfLine(line, "url ");
  if (hasSuffix(url, "',") || hasSuffix(url, "\",")) url.pop_back();
  return droppingCharacters(url, 1, 1);
}

std::string CaskHelper::_replaceVersionInURL(std::string_view url, std::string_view version) {
  std::string out = replaced(url, "#{version}", version);
  if (!contains(out, "#{")) return out;
  for (const Placeholder& placeholder : placeholders())
    if (contains(out, placeholder.text)) out = replaced(out, placeholder.text, placeholder.value(version));
  return out;
}

std::optional<std::string> CaskHelper::getDownloadURLFromCaskfile(std::string_view caskfile,
                                                                  std::string_view bundleIdentifier,
                                                                  std::optional<Error>* error) {
  auto setError = [&](long code, Json userInfo) {
    if (error != nullptr) *error = Error(kCocoaErrorDomain, code, std::move(userInfo));
  };
  auto url = getUnprocessedDownloadURLFromCaskfile(caskfile);
  if (!url) return std::nullopt;
  if (!contains(*url, "#{")) return url;

  auto version = getVersionFromCaskfile(caskfile);
  if (!version) {
    cc_log_error("Error: caskfile does not seem to contain any version lines %@", bundleIdentifier);
    CGIInfoHelper::collectErrorEvent(10, makeVariables("bundleIdentifier, caskfileContents", bundleIdentifier,
                                                        caskfile));
    setError(kErrorInstallCaskfileContainsNoVersions, makeVariables("bundleIdentifier", bundleIdentifier));
    return std::nullopt;
  }

  std::string withoutKnown = replaced(*url, "#{version}", "");
  for (const Placeholder& placeholder : placeholders())
    if (placeholder.known) withoutKnown = replaced(withoutKnown, placeholder.text, "");

  std::string finalURL;
  if (contains(withoutKnown, "#{")) {
    Conversion conversion = convert(*version, *url, caskfile);
    if (conversion.resourceMissing) {
      std::string exceptionInfo = missingResourceDescription(kConvertScript);
      cc_log_error("Error: could not convert download url using convert ruby script because of an exception %@ %@",
                   exceptionInfo, bundleIdentifier);
      CGIInfoHelper::collectErrorEvent(11, makeVariables("exceptionInfo, bundleIdentifier, caskfileContents",
                                                          exceptionInfo, bundleIdentifier, caskfile));
      setError(kErrorInstallConvertURLScriptFailedException,
               makeVariables("bundleIdentifier, exceptionInfo", bundleIdentifier, exceptionInfo));
      return std::nullopt;
    }
    const auto& output = conversion.run.output;
    long status = conversion.run.status;
    if (!output || output->empty()) {
      cc_log_error("Error: could not convert download url using convert ruby script empty result %@",
                   bundleIdentifier);
      setError(kErrorInstallConvertURLScriptFailedEmpty, makeVariables("bundleIdentifier", bundleIdentifier));
      CGIInfoHelper::collectErrorEvent(12, makeVariables("bundleIdentifier, caskfileContents", bundleIdentifier,
                                                          caskfile));
      return std::nullopt;
    }
    if (status != 0) {
      cc_log_error("Error: could not convert download url using convert ruby script non-null status code %li %@ %@",
                   status, bundleIdentifier, *output);
      CGIInfoHelper::collectErrorEvent(12, makeVariables("bundleIdentifier, caskfileContents, @(status), output",
                                                          bundleIdentifier, caskfile, status, *output));
      setError(kErrorInstallConvertURLScriptFailedStatus,
               makeVariables("bundleIdentifier, @(status), output", bundleIdentifier, status, *output));
      return std::nullopt;
    }
    finalURL = trimmedOfWhitespaceAndNewlines(*output);
  } else {
    finalURL = _replaceVersionInURL(*url, *version);
  }

  if (!hasPrefix(finalURL, "http") && !hasPrefix(finalURL, "ftp")) {
    cc_log_error("Error: could not convert download url using convert ruby script invalid download url format %@ %@",
                 finalURL, bundleIdentifier);
    CGIInfoHelper::collectErrorEvent(12, makeVariables("bundleIdentifier, caskfileContents, downloadURL",
                                                        bundleIdentifier, caskfile, finalURL));
    setError(kErrorInstallConvertURLScriptFailedStatus,
             makeVariables("bundleIdentifier, downloadURL", bundleIdentifier, finalURL));
    return std::nullopt;
  }
  return finalURL;
}

// ---- Language ---------------------------------------------------------------------

std::string CaskHelper::getPreferredLanguageFromCaskfile(std::string_view caskfile) {
  std::string blockLines;
  bool inBlock = false;
  bool first = true;
  for (const std::string& line : lines(caskfile)) {
    if (contains(line, "  language ")) inBlock = true;
    if (inBlock) {
      blockLines += (first ? "" : "\n") + line;
      first = false;
    }
    if (inBlock && contains(line, "  end")) inBlock = false;
  }

  std::string languages;
  for (const std::string& language : CaskScript::preferredLanguages())
    languages += (languages.empty() ? "" : "=") + language;
  if (languages.empty()) languages = kFallbackLanguage;

  std::optional<std::string> output;
  int status = -1;
  if (auto script = CaskScript::resourcePath(kLanguageScript)) {
    CaskScript::Run run = CaskScript::runRuby({*script, languages, blockLines});
    output = std::move(run.output);
    status = run.status;
  } else {
    cc_log_error("Error: _getRubyLanguageFromCaskfile did get exception %@", missingResourceDescription(kLanguageScript));
  }

  std::string language = output ? trimmedOfWhitespaceAndNewlines(*output) : std::string();
  if (language.empty()) {
    cc_log_error("Error: _getRubyLanguageFromCaskfile did get nil or empty output");
    CGIInfoHelper::collectErrorEvent(204, makeVariables("caskfileContents, output", caskfile, output));
    return std::string(kFallbackLanguage);
  }
  if (status != 0) {
    cc_log_error("Error: _getRubyLanguageFromCaskfile did get status");
    CGIInfoHelper::collectErrorEvent(204, makeVariables("caskfileContents, output, @(status)", caskfile, output,
                                                         static_cast<long>(status)));
    return std::string(kFallbackLanguage);
  }
  return language;
}

// ---- Homepage and appcast ---------------------------------------------------------

std::optional<std::string> CaskHelper::getHomepageURLFromCaskfile(std::string_view caskfile) {
  auto line = lastLineWithPrefix(caskfile, "homepage ");
  if (!line) return std::nullopt;
  auto homepage = droppingCharacters(valueOfLine(*line, "homepage "), 1, 1);
  if (!homepage || !contains(*homepage, "#{")) return homepage;

  std::string caskLine = firstLine(caskfile);
  auto version = getVersionFromCaskfile(caskfile);
  if (!version) {
    cc_log_error("Error: caskfile does not seem to contain any version lines %@", caskLine);
    return std::nullopt;
  }
  Conversion conversion = convert(*version, *homepage, caskfile);
  if (conversion.resourceMissing) {
    cc_log_error("Error: could not convert download url using convert ruby script because of an exception %@ %@",
                 missingResourceDescription(kConvertScript), caskLine);
    return std::nullopt;
  }
  if (!conversion.run.output || conversion.run.output->empty()) {
    cc_log_error("Error: could not convert download url using convert ruby script empty result %@", caskLine);
    return std::nullopt;
  }
  if (conversion.run.status != 0) {
    cc_log_error("Error: could not convert download url using convert ruby script non-null status code %li %@",
                 static_cast<long>(conversion.run.status), caskLine);
    return std::nullopt;
  }
  return trimmedOfWhitespaceAndNewlines(*conversion.run.output);
}

std::optional<std::string> CaskHelper::getUnprocessedAppcastURLFromCaskfile(std::string_view caskfile) {
  std::optional<std::string> line;
  for (std::string& candidate : lines(caskfile)) {
    std::string trimmed = trimmedOfWhitespace(candidate);
    if (hasPrefix(trimmed, "appcast '") || hasPrefix(trimmed, "appcast \"")) line = std::move(candidate);
  }
  if (!line) return std::nullopt;
  std::string value = valueOfLine(*line, "appcast ");
  return droppingCharacters(value, 1, hasSuffix(value, ",") ? 2 : 1);
}

std::optional<std::string> CaskHelper::getAppcastURLFromCaskfile(std::string_view caskfile) {
  auto appcast = getUnprocessedAppcastURLFromCaskfile(caskfile);
  if (!appcast) return std::nullopt;
  std::string url = *appcast;
  if (contains(url, "#{")) {
    if (auto version = getVersionFromCaskfile(caskfile)) url = _replaceVersionInURL(url, *version);
    if (contains(url, "#{url}")) {
      if (auto downloadURL = getUnprocessedDownloadURLFromCaskfile(caskfile))
        url = replaced(url, "#{url}", *downloadURL);
    }
    if (contains(url, "#{")) return std::nullopt;
  }
  url = replaced(url, "\\[", "[");
  url = replaced(url, "\\]", "]");
  url = replaced(url, "\\}", "%7D");
  url = replaced(url, "\\{", "%7B");
  url = replaced(url, "\"", "%22");
  url = replaced(url, "}", "%7D");
  return replaced(url, "{", "%7B");
}

}  // namespace vantor
