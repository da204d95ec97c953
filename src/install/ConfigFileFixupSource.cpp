#include "install/ConfigFileFixupSource.h"

namespace vantor {

std::optional<Json> ConfigFileFixupSource::shouldFixupBundleIdentifier(const std::string& bundleIdentifier) const {
  if (!configFile_.hasBundleIDMapping()) return std::nullopt;
  return configFile_.entryForBundleIdentifier(bundleIdentifier).shouldFixupBundleIdentifier();
}

std::optional<Json> ConfigFileFixupSource::shouldFixupVersionInformation(const std::string& bundleIdentifier) const {
  if (!configFile_.hasBundleIDMapping()) return std::nullopt;
  return configFile_.entryForBundleIdentifier(bundleIdentifier).shouldFixupVersionInformation();
}

}  // namespace vantor
