#pragma once
// The catalog as the bundle reader's source of per-app fixups: the "fu" and "fv" values
// of the record for a bundle identifier. Holds a copy of the catalog (copies share one
// document), so it may outlive the object it was made from.

#include <optional>
#include <string>

#include "catalog/ConfigFile.h"
#include "install/InfoPlistFixupSource.h"

namespace vantor {

class ConfigFileFixupSource : public InfoPlistFixupSource {
 public:
  explicit ConfigFileFixupSource(ConfigFile configFile) : configFile_(std::move(configFile)) {}

  std::optional<Json> shouldFixupBundleIdentifier(const std::string& bundleIdentifier) const override;
  std::optional<Json> shouldFixupVersionInformation(const std::string& bundleIdentifier) const override;

 private:
  ConfigFile configFile_;
};

}  // namespace vantor
