#pragma once
// Small helpers shared by the download tests.

#include <chrono>
#include <optional>
#include <string>

#include "foundation/Bytes.h"
#include "foundation/FileHelpers.h"
#include "support/TestSupport.h"
#include "foundation/StringHelpers.h"
#include "foundation/URL.h"
#include "vantor/BuildSettings.h"

namespace vantor::test {

inline URL parsedURL(const std::string& text) { return URL::parse(text).value(); }

inline std::optional<std::string> text(const std::optional<Bytes>& bytes) {
  if (!bytes) return std::nullopt;
  return toString(*bytes);
}

class Stopwatch {
 public:
  double seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The word the product server's issuer must carry, in plain form (the build keeps ROT13).
inline std::string issuerWord() { return rot13(build::kServerIssuerWord).value(); }

}  // namespace vantor::test
