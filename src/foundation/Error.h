#pragma once
// An error is a value: a domain, an integer code and a user-info dictionary.

#include <string>

#include "foundation/Json.h"

namespace vantor {

inline constexpr const char* kCocoaErrorDomain = "NSCocoaErrorDomain";
inline constexpr const char* kPOSIXErrorDomain = "NSPOSIXErrorDomain";
inline constexpr const char* kLocalizedDescriptionKey = "NSLocalizedDescription";

struct Error {
  std::string domain;
  long code = 0;
  Json userInfo = Json::object();

  Error() = default;
  Error(std::string domain, long code, Json userInfo = Json::object())
      : domain(std::move(domain)), code(code), userInfo(userInfo.is_null() ? Json::object() : std::move(userInfo)) {}

  // "NSLocalizedDescription" when the user info has one, else a generic text.
  std::string localizedDescription() const;
  // Domain, code, description and user info in one line, as logs and events show errors.
  std::string description() const;
};

}  // namespace vantor
