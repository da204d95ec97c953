#pragma once
// One catalog record: read-only accessors over the record's short keys. Every value is
// returned exactly as stored, whatever its JSON type; an absent key gives nothing, except
// the four version lists, which give an empty list. A record that is not a JSON object
// answers every key with nothing.

#include <optional>
#include <string>
#include <string_view>

#include "foundation/Json.h"

namespace vantor {

class ConfigFileEntry {
 public:
  // initWithDictionary: stores the record as it is; nothing gives a record without keys.
  explicit ConfigFileEntry(std::optional<Json> dictionary = Json::object());

  const Json& dictionary() const { return dictionary_; }

  std::optional<Json> caskName() const { return value("cn"); }
  std::optional<Json> caskHasNoVersion() const { return value("nv"); }
  std::optional<Json> caskHasVersionButNoSHA() const { return value("ns"); }
  std::optional<Json> caskVersionMappingToSVS() const { return value("ms"); }
  std::optional<Json> caskVersionMappingToBV() const { return value("mb"); }
  std::optional<Json> transformationNeededForBV() const { return value("tb"); }
  std::optional<Json> transformationNeededForSVS() const { return value("ts"); }
  Json ignoredUpdates() const { return list("iu"); }
  Json mislabeledUpdates() const { return list("mu"); }
  Json ignoredPatterns() const { return list("ip"); }
  Json mislabeledPatterns() const { return list("mi"); }
  // "fe", or "fe<minor>" when "fd" asks for a newer system than the running one.
  std::optional<Json> feedURL() const { return systemDependentValue("fe", "fd"); }
  std::optional<Json> homepageURL() const { return value("hp"); }
  std::optional<Json> releasenotesURL() const { return value("rn"); }
  std::optional<Json> embeddableReleaseNotes() const { return value("er"); }
  std::optional<Json> isLaurelSupportApp() const { return value("pl"); }
  std::optional<Json> isLaunchUpdaterApp() const { return value("lu"); }
  std::optional<Json> isFree() const { return value("fr"); }
  std::optional<Json> isIgnored() const { return value("ig"); }
  std::optional<Json> isDiscontinued() const { return value("dc"); }
  std::optional<Json> codeSignature() const { return value("cs"); }
  std::optional<Json> hasMovedIntoAppstore() const { return value("ai"); }
  std::optional<Json> hasMovedOutOfAppstore() const { return value("ao"); }
  std::optional<Json> hadLatestVersionAvailableInAppstore() const { return value("al"); }
  std::optional<Json> isOverridenToBundleID() const { return systemDependentValue("or", "od"); }
  std::optional<Json> isOverridenToBundleIDAppStore() const { return systemDependentValue("ora", "od"); }
  std::optional<Json> isOverridenToBundleIDOutOfStore() const { return systemDependentValue("oro", "od"); }
  std::optional<Json> overrideExplanation() const { return value("oe"); }
  std::optional<Json> updateExplanation() const { return value("ex"); }
  std::optional<Json> unupdatableExplanation() const { return value("ue"); }
  std::optional<Json> ignoreExplanation() const { return value("ie"); }
  std::optional<Json> doesNotHaveBuiltInUpdater() const { return value("nu"); }
  std::optional<Json> shouldSwitchFeedBVandSVS() const { return value("sw"); }
  std::optional<Json> shouldIgnoreBVInFeed() const { return value("fi"); }
  std::optional<Json> shouldCopyGIStoSVS() const { return value("gs"); }
  std::optional<Json> shouldCopyGIStoBV() const { return value("gb"); }
  std::optional<Json> shouldFillMissingVersion() const { return value("va"); }
  std::optional<Json> feedHasOSDependency() const { return value("fd"); }
  std::optional<Json> overrideHasOSDependency() const { return value("od"); }
  std::optional<Json> minimumOSForSendingToDB() const { return value("mo"); }
  std::optional<Json> shouldUseSpecialComparator() const { return value("sc"); }
  std::optional<Json> minimumUserPercentageForValidUpdate() const { return value("mp"); }
  std::optional<Json> updateBundleName() const { return value("bn"); }
  std::optional<Json> updateBundleExecutable() const { return value("be"); }
  std::optional<Json> updatePathSuffix() const { return value("bp"); }
  std::optional<Json> shouldFixupBundleIdentifier() const { return value("fu"); }
  std::optional<Json> shouldFixupVersionInformation() const { return value("fv"); }
  std::optional<Json> shouldFixupAppstore() const { return value("af"); }
  std::optional<Json> shouldUseFakeUserAgentForDownload() const { return value("da"); }
  std::optional<Json> shouldUseCustomUserAgentForDownload() const { return value("ca"); }
  std::optional<Json> shouldUseCustomUserAgentForFeed() const { return value("fa"); }
  std::optional<Json> shouldUseCustomRefererForDownload() const { return value("re"); }
  std::optional<Json> shouldAskUserAboutMultilingualCaskUpdate() const { return value("ml"); }
  std::optional<Json> shouldWarnOfMalware() const { return value("mw"); }
  std::optional<Json> malwareExplanation() const { return value("me"); }
  std::optional<Json> fileDateIsUnreliable() const { return value("if"); }
  std::optional<Json> feedHasReliablePubDate() const { return value("fp"); }
  std::optional<Json> laurelURL() const { return value("pu"); }
  std::optional<Json> laurelPattern() const { return value("pp"); }
  std::optional<Json> laurelPatternBVTransformation() const { return value("ppbt"); }
  std::optional<Json> laurelPatternSVSTransformation() const { return value("ppst"); }
  std::optional<Json> laurelPatternRemoveZeroes() const { return value("pprz"); }
  std::optional<Json> paidReleases() const { return value("pr"); }
  std::optional<Json> appUsesStagedUpdates() const { return value("st"); }
  std::optional<Json> otherVersionAppStoreVersion() const { return value("av"); }
  std::optional<Json> otherVersionOutOfStoreVersion() const { return value("ov"); }

  // A feed URL is present, is text and does not begin with "NOFEED_".
  bool hasValidFeedURL() const;
  // "cn|nv|ns|mb|ms|ai|ao|feed|rn|fr" for logs, absent values as "(null)".
  std::string description() const;
  std::string descriptionLong() const;

  // The value under any key, as stored.
  std::optional<Json> value(std::string_view key) const;

 private:
  Json list(std::string_view key) const;
  std::optional<Json> systemDependentValue(std::string_view baseKey, std::string_view dependencyKey) const;

  Json dictionary_;
};

}  // namespace vantor
