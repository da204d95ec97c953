#pragma once
// A request for one HTTP transfer: URL, method, header fields, body and the time limit
// of inactivity. Header field names compare without regard to case, as HTTP wants.
// There is no response cache anywhere in this module, so every request reaches the
// server; the cache settings that callers ask for ("cache off") need no field here.

#include <map>
#include <optional>
#include <string>

#include "foundation/URL.h"

namespace vantor {

struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

using HTTPHeaderFields = std::map<std::string, std::string, CaseInsensitiveLess>;

// The inactivity limit of a request that sets none of its own: a transfer that moves no
// byte for this long fails.
inline constexpr double kDefaultTimeoutInterval = 60.0;

struct URLRequest {
  URL url;
  std::string httpMethod = "GET";
  std::optional<std::string> httpBody;
  HTTPHeaderFields allHTTPHeaderFields;
  double timeoutInterval = kDefaultTimeoutInterval;  // seconds without progress

  URLRequest() = default;
  explicit URLRequest(URL url) : url(std::move(url)) {}

  // Replaces the field's value.
  void setValue(const std::string& value, const std::string& field);
  // Appends to an existing value with ", ", as repeated header fields combine.
  void addValue(const std::string& value, const std::string& field);
  std::optional<std::string> valueForHTTPHeaderField(const std::string& field) const;
};

}  // namespace vantor
