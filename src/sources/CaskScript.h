#pragma once
// Ruby runs on behalf of CaskHelper: the scripts generated from a cask's OS branches and
// the two bundle resources. Every run is "/usr/bin/ruby -W0 ..." through the task runner,
// with a time limit after which the child is killed (a hanging interpreter must not hang
// the install), and generated scripts live in a fresh temporary folder that is removed
// after the run.
//
// Cask text is data: a generated script is run only when each of its lines has one of the
// few forms that OS branches take (if/elsif on the system version, else, end, puts of a
// plain literal, comments); anything else is refused before Ruby sees it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor {

class CaskScript {
 public:
  CaskScript() = delete;

  static constexpr const char* kRubyPath = "/usr/bin/ruby";
  // Generous for scripts that print one line; reached only by a hanging interpreter.
  static constexpr double kDefaultTimeLimitSeconds = 20;

  struct Run {
    std::optional<std::string> output;  // nothing: Ruby could not be run or was stopped
    int status = -1;
  };

  // "/usr/bin/ruby -W0 <arguments...>".
  static Run runRuby(const std::vector<std::string>& arguments);

  // Path of a bundle resource (convertCaskDownloadURL.rb, getCaskLanguageReplacement.rb).
  static std::optional<std::string> resourcePath(std::string_view name);

  // The generated scripts, before the safety check. minorVersion replaces "MacOS.version".
  static std::string versionBranchScript(std::string_view caskfile, long minorVersion);
  static std::string urlBranchScript(std::string_view caskfile, long minorVersion);

  // Whether every line of a generated script has a form we are willing to run. When not,
  // *reason names the first line refused.
  static bool isRunnableBranchScript(std::string_view script, std::string* reason = nullptr);

  // The user's preferred languages, two-letter codes in order.
  static std::vector<std::string> preferredLanguages();
  static void setPreferredLanguagesForTesting(std::optional<std::vector<std::string>> languages);

  // The running system's minor version number (15 on 10.15.7).
  static long runningMinorVersion();

  // The release symbols (":tiger" = 4 ... ":catalina" = 15) in table order.
  struct ReleaseSymbol {
    const char* symbol;
    int minor;
  };
  static const std::vector<ReleaseSymbol>& releaseSymbols();
  // Url branches know the releases from ":snow_leopard" on.
  static constexpr size_t kFirstURLBranchSymbol = 2;
  // The text with each release symbol from index `first` on replaced by its number.
  static std::string withReleaseNumbers(std::string_view text, size_t first);

  // Time limit of every run; tests shorten it.
  static double timeLimitSeconds();
  static void setTimeLimitSecondsForTesting(double seconds);
  // Resources are looked up in this folder instead; nothing restores the usual lookup.
  static void setResourceFolderForTesting(std::optional<std::string> folder);
};

}  // namespace vantor
