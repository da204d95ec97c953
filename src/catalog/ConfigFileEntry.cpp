#include "catalog/ConfigFileEntry.h"

#include "foundation/Format.h"
#include "foundation/JsonValue.h"
#include "foundation/StringHelpers.h"
#include "platform/SystemVersion.h"

namespace vantor {

ConfigFileEntry::ConfigFileEntry(std::optional<Json> dictionary)
    : dictionary_(dictionary ? std::move(*dictionary) : Json(nullptr)) {}

std::optional<Json> ConfigFileEntry::value(std::string_view key) const {
  if (!dictionary_.is_object()) return std::nullopt;
  auto it = dictionary_.find(key);
  if (it == dictionary_.end()) return std::nullopt;
  return *it;
}

Json ConfigFileEntry::list(std::string_view key) const {
  auto stored = value(key);
  return stored ? std::move(*stored) : Json::array();
}

std::optional<Json> ConfigFileEntry::systemDependentValue(std::string_view baseKey,
                                                          std::string_view dependencyKey) const {
  auto base = value(baseKey);
  if (!base) return std::nullopt;
  long long dependency = integerValue(value(dependencyKey));
  long minor = platform::operatingSystemVersion().minorVersion;
  if (dependency <= minor) return base;
  return value(std::string(baseKey) + std::to_string(minor));
}

bool ConfigFileEntry::hasValidFeedURL() const {
  auto feed = feedURL();
  if (!feed) return false;
  // A stored value that is not text cannot be fetched as a feed.
  return feed->is_string() && !hasPrefix(feed->get_ref<const std::string&>(), "NOFEED_");
}

std::string ConfigFileEntry::description() const {
  return makeString("%@|%@|%@|%@|%@|%@|%@|%@|%@|%@", caskName(), caskHasNoVersion(), caskHasVersionButNoSHA(),
                    caskVersionMappingToBV(), caskVersionMappingToSVS(), hasMovedIntoAppstore(),
                    hasMovedOutOfAppstore(), feedURL(), releasenotesURL(), isFree());
}

std::string ConfigFileEntry::descriptionLong() const {
  return makeString(
      "CaskName: %@\nNoVersion: %@ VersionButNoSHA: %@ BVMapping: %@ SVSMapping: %@ MovedInto: %@ MovedOutof: %@ "
      "Free: %@\nFeedURL: %@\nReleasenotes: %@",
      caskName(), caskHasNoVersion(), caskHasVersionButNoSHA(), caskVersionMappingToBV(), caskVersionMappingToSVS(),
      hasMovedIntoAppstore(), hasMovedOutOfAppstore(), isFree(), feedURL(), releasenotesURL());
}

}  // namespace vantor
