#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace vantor {

// "2026-12-10 01:22:16 +0000", as a date's standard description reads.
std::string currentDateDescription();
// The short date and time style of the en_US locale: "12/10/26, 1:22 AM".
std::string shortDateAndTimeString(std::time_t when);
// Formats with strftime-style patterns in the given or the local time zone.
std::string stringUsingFormat(std::time_t when, const char* strftimeFormat, bool utc = false);

}  // namespace vantor
