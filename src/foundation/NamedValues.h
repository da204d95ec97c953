#pragma once
// Dictionaries of named values for error events and user-info dictionaries: the keys are
// the argument expressions as the call site writes them, so the two stay in step.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Format.h"
#include "foundation/Json.h"

namespace vantor {

// Splits names at "," and pairs each name (trimmed of white space and newlines) with the
// next value; an absent value (or a missing one) is stored as "(null)". No names give
// nothing; an empty string is one empty name.
std::optional<Json> makeDictionaryOfVariablesFromList(const std::optional<std::string_view>& names,
                                                      const std::vector<FormatArg>& values);

template <class... Args>
std::optional<Json> makeDictionaryOfVariables(const std::optional<std::string_view>& names, const Args&... values) {
  std::vector<FormatArg> list;
  list.reserve(sizeof...(values));
  (list.emplace_back(values), ...);
  return makeDictionaryOfVariablesFromList(names, list);
}

// For each key in order "\n<key>: <description of object[key]>" ("(null)" when absent).
std::string makeDescription(const Json& object, const std::vector<std::string>& keys);

}  // namespace vantor

// makeDictionaryOfVariables with the names written once: VANTOR_VARIABLES(a, b) keys the
// values of a and b by "a" and "b".
#define VANTOR_VARIABLES(...) ::vantor::makeDictionaryOfVariables(#__VA_ARGS__, __VA_ARGS__)
