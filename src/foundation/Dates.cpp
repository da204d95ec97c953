#include "foundation/Dates.h"

#include "foundation/Format.h"

namespace vantor {

std::string stringUsingFormat(std::time_t when, const char* strftimeFormat, bool utc) {
  std::tm tm{};
  if (utc) gmtime_r(&when, &tm);
  else localtime_r(&when, &tm);
  char buf[128];
  std::strftime(buf, sizeof buf, strftimeFormat, &tm);
  return buf;
}

std::string currentDateDescription() { return stringUsingFormat(std::time(nullptr), "%Y-%m-%d %H:%M:%S +0000", true); }

std::string shortDateAndTimeString(std::time_t when) {
  std::tm tm{};
  localtime_r(&when, &tm);
  int hour = tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12;
  return makeString("%i/%i/%02i, %i:%02i %@", tm.tm_mon + 1, tm.tm_mday, tm.tm_year % 100, hour, tm.tm_min,
                    tm.tm_hour < 12 ? "AM" : "PM");
}

}  // namespace vantor
