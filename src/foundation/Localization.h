#pragma once
// Localisation of user messages. A table "<resources>/<language>.lproj/Localizable.strings"
// ("key" = "value"; lines) for the first preferred language translates; without one, or
// for a key it lacks, the text stays as written.

#include <string>
#include <string_view>
#include <vector>

#include "foundation/Format.h"

namespace vantor {

std::string localized(std::string_view text);

template <class... Args>
std::string makeLocalizedString(std::string_view format, const Args&... args) {
  return makeString(localized(format), args...);
}

// Two-letter codes of the user's languages from LANGUAGE, LC_ALL, LC_MESSAGES and LANG,
// in order and without repeats, with "en" last unless already there. Computed once.
const std::vector<std::string>& preferredLanguages2Letter();

namespace detail {
// Parses a strings table; entries it can not read are skipped.
std::vector<std::pair<std::string, std::string>> parseStringsTable(std::string_view text);
// The language codes those variables give (the computation behind preferredLanguages2Letter).
std::vector<std::string> languagesFromEnvironmentValues(const std::vector<std::string>& values);
}  // namespace detail

}  // namespace vantor
