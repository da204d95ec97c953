#pragma once
// Orders version strings ("1.10b2", "v2.0", "1.0 (123)") by splitting them into runs of
// digits, runs of other characters and single separators and comparing run by run.
// Results are -1 (first older), 0 (same) or 1 (first newer). Stateless; the shared
// instance may be used from any thread.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::sources {

class ZRSUStandardVersionComparator {
 public:
  enum CharacterType { kNumberType = 0, kStringType = 1, kSeparatorType = 2 };

  // Made once, on first use.
  static const ZRSUStandardVersionComparator& defaultComparator();

  virtual ~ZRSUStandardVersionComparator() = default;

  // The "v" prefix rule, the ".0"/".0.0" suffix rule and the unknown markers ("" and "?"),
  // then the run-by-run comparison.
  virtual int compareVersion(std::string_view versionA, std::string_view versionB) const;
  // As compareVersion after rewriting a trailing lowercase letter into a number
  // ("1.2b" -> "1.2.2"), so that 1.2a orders after 1.2.
  int compareVersionWithLetterSuffix(std::string_view versionA, std::string_view versionB) const;
  // The run-by-run comparison alone.
  int _compareVersion(std::string_view versionA, std::string_view versionB) const;

  static std::vector<std::string> splitVersionString(std::string_view version);
  // The class of the text's first character; text without characters counts as a string.
  static CharacterType typeOfCharacter(std::string_view character);

  // True when the given minimum system version is newer than the running system's. An
  // absent or empty version, or one without a ".", never is.
  static bool isSystemVersionNewerThanOurSystemVersion(const std::optional<std::string>& version);
};

}  // namespace vantor::sources
