#pragma once
// Reading a dynamic value as a number the way callers of the catalog and of property
// lists do: numbers and booleans by value, strings by their leading decimal integer,
// anything else (and nothing) as 0.

#include <optional>

#include "foundation/Json.h"

namespace vantor {

// Numbers are truncated toward zero and clamped to the range of long long. A string gives
// its leading integer after white space and an optional sign ("15abc" is 15, "abc" 0).
long long integerValue(const Json& value);
long long integerValue(const std::optional<Json>& value);

// Numbers: not zero. Strings: true when, after white space, an optional sign and leading
// zeros, the text starts with 1-9 or one of "YyTt".
bool boolValue(const Json& value);
bool boolValue(const std::optional<Json>& value);

}  // namespace vantor
