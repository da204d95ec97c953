#pragma once
// What the bundle reader asks the catalog: the fixup values of the record of one bundle
// identifier. The shell hands an implementation over the loaded catalog to
// InfoPlistHelper at launch, so this module never reaches up for the catalog itself.

#include <optional>
#include <string>

#include "foundation/Json.h"

namespace vantor {

class InfoPlistFixupSource {
 public:
  virtual ~InfoPlistFixupSource() = default;
  // The record's values as stored ("fu" and "fv"); absent when the record has none or
  // there is no record for the identifier.
  virtual std::optional<Json> shouldFixupBundleIdentifier(const std::string& bundleIdentifier) const = 0;
  virtual std::optional<Json> shouldFixupVersionInformation(const std::string& bundleIdentifier) const = 0;
};

}  // namespace vantor
