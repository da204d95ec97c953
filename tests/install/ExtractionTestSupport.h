#pragma once
// Shared pieces of the extraction tests: running the factory's extractor, and scoped
// changes of the environment and of the extraction limits.

#include <stdlib.h>

#include <optional>
#include <string>

#include "foundation/Error.h"
#include "install/ZRSUUnarchiver.h"
#include "platform/ExtractionWatch.h"

namespace vantor::test {

// The error of extracting the archive with the extractor the factory picks; an error
// with code -1 when there is none.
inline std::optional<Error> extract(const std::string& archive) {
  auto unarchiver = ZRSUUnarchiver::unarchiverForPath(archive, std::nullopt, std::nullopt);
  if (!unarchiver) return Error("test", -1);
  return unarchiver->unarchive();
}

inline std::string message(const std::optional<Error>& error) {
  if (!error) return "(success)";
  return error->localizedDescription();
}

class ScopedEnvironmentValue {
 public:
  ScopedEnvironmentValue(const char* name, const std::string& value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnvironmentValue() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class ScopedExtractionLimits {
 public:
  explicit ScopedExtractionLimits(platform::ExtractionLimits limits) { platform::setExtractionLimits(limits); }
  ~ScopedExtractionLimits() { platform::setExtractionLimits(std::nullopt); }
};

}  // namespace vantor::test
