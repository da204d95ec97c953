#include <gtest/gtest.h>
#include <stdlib.h>

#include "catalog/ConfigFileEntry.h"

namespace vantor {
namespace {

using Accessor = std::optional<Json> (ConfigFileEntry::*)() const;

// Every plain property with its key, in the order the class declares them.
const std::pair<Accessor, const char*> kPlainProperties[] = {
    {&ConfigFileEntry::caskName, "cn"},
    {&ConfigFileEntry::caskHasNoVersion, "nv"},
    {&ConfigFileEntry::caskHasVersionButNoSHA, "ns"},
    {&ConfigFileEntry::caskVersionMappingToSVS, "ms"},
    {&ConfigFileEntry::caskVersionMappingToBV, "mb"},
    {&ConfigFileEntry::transformationNeededForBV, "tb"},
    {&ConfigFileEntry::transformationNeededForSVS, "ts"},
    {&ConfigFileEntry::homepageURL, "hp"},
    {&ConfigFileEntry::releasenotesURL, "rn"},
    {&ConfigFileEntry::embeddableReleaseNotes, "er"},
    {&ConfigFileEntry::isLaurelSupportApp, "pl"},
    {&ConfigFileEntry::isLaunchUpdaterApp, "lu"},
    {&ConfigFileEntry::isFree, "fr"},
    {&ConfigFileEntry::isIgnored, "ig"},
    {&ConfigFileEntry::isDiscontinued, "dc"},
    {&ConfigFileEntry::codeSignature, "cs"},
    {&ConfigFileEntry::hasMovedIntoAppstore, "ai"},
    {&ConfigFileEntry::hasMovedOutOfAppstore, "ao"},
    {&ConfigFileEntry::hadLatestVersionAvailableInAppstore, "al"},
    {&ConfigFileEntry::overrideExplanation, "oe"},
    {&ConfigFileEntry::updateExplanation, "ex"},
    {&ConfigFileEntry::unupdatableExplanation, "ue"},
    {&ConfigFileEntry::ignoreExplanation, "ie"},
    {&ConfigFileEntry::doesNotHaveBuiltInUpdater, "nu"},
    {&ConfigFileEntry::shouldSwitchFeedBVandSVS, "sw"},
    {&ConfigFileEntry::shouldIgnoreBVInFeed, "fi"},
    {&ConfigFileEntry::shouldCopyGIStoSVS, "gs"},
    {&ConfigFileEntry::shouldCopyGIStoBV, "gb"},
    {&ConfigFileEntry::shouldFillMissingVersion, "va"},
    {&ConfigFileEntry::feedHasOSDependency, "fd"},
    {&ConfigFileEntry::overrideHasOSDependency, "od"},
    {&ConfigFileEntry::minimumOSForSendingToDB, "mo"},
    {&ConfigFileEntry::shouldUseSpecialComparator, "sc"},
    {&ConfigFileEntry::minimumUserPercentageForValidUpdate, "mp"},
    {&ConfigFileEntry::updateBundleName, "bn"},
    {&ConfigFileEntry::updateBundleExecutable, "be"},
    {&ConfigFileEntry::updatePathSuffix, "bp"},
    {&ConfigFileEntry::shouldFixupBundleIdentifier, "fu"},
    {&ConfigFileEntry::shouldFixupVersionInformation, "fv"},
    {&ConfigFileEntry::shouldFixupAppstore, "af"},
    {&ConfigFileEntry::shouldUseFakeUserAgentForDownload, "da"},
    {&ConfigFileEntry::shouldUseCustomUserAgentForDownload, "ca"},
    {&ConfigFileEntry::shouldUseCustomUserAgentForFeed, "fa"},
    {&ConfigFileEntry::shouldUseCustomRefererForDownload, "re"},
    {&ConfigFileEntry::shouldAskUserAboutMultilingualCaskUpdate, "ml"},
    {&ConfigFileEntry::shouldWarnOfMalware, "mw"},
    {&ConfigFileEntry::malwareExplanation, "me"},
    {&ConfigFileEntry::fileDateIsUnreliable, "if"},
    {&ConfigFileEntry::feedHasReliablePubDate, "fp"},
    {&ConfigFileEntry::laurelURL, "pu"},
    {&ConfigFileEntry::laurelPattern, "pp"},
    {&ConfigFileEntry::laurelPatternBVTransformation, "ppbt"},
    {&ConfigFileEntry::laurelPatternSVSTransformation, "ppst"},
    {&ConfigFileEntry::laurelPatternRemoveZeroes, "pprz"},
    {&ConfigFileEntry::paidReleases, "pr"},
    {&ConfigFileEntry::appUsesStagedUpdates, "st"},
    {&ConfigFileEntry::otherVersionAppStoreVersion, "av"},
    {&ConfigFileEntry::otherVersionOutOfStoreVersion, "ov"},
    {&ConfigFileEntry::feedURL, "fe"},
    {&ConfigFileEntry::isOverridenToBundleID, "or"},
    {&ConfigFileEntry::isOverridenToBundleIDAppStore, "ora"},
    {&ConfigFileEntry::isOverridenToBundleIDOutOfStore, "oro"},
};

using ListAccessor = Json (ConfigFileEntry::*)() const;
const std::pair<ListAccessor, const char*> kListProperties[] = {
    {&ConfigFileEntry::ignoredUpdates, "iu"},
    {&ConfigFileEntry::mislabeledUpdates, "mu"},
    {&ConfigFileEntry::ignoredPatterns, "ip"},
    {&ConfigFileEntry::mislabeledPatterns, "mi"},
};

// Runs with an emulated system version and restores the environment afterwards.
class ScopedSystemVersion {
 public:
  explicit ScopedSystemVersion(const char* version) {
    if (const char* old = getenv("VANTOR_SYSTEM_VERSION")) old_ = old;
    setenv("VANTOR_SYSTEM_VERSION", version, 1);
  }
  ~ScopedSystemVersion() {
    if (old_) setenv("VANTOR_SYSTEM_VERSION", old_->c_str(), 1);
    else unsetenv("VANTOR_SYSTEM_VERSION");
  }

 private:
  std::optional<std::string> old_;
};

TEST(ConfigFileEntryTest, EmptyRecordHasNoValuesButEmptyLists) {
  for (const ConfigFileEntry& entry : {ConfigFileEntry(), ConfigFileEntry(Json::object()), ConfigFileEntry(std::nullopt)}) {
    for (const auto& [accessor, key] : kPlainProperties) EXPECT_FALSE((entry.*accessor)()) << key;
    for (const auto& [accessor, key] : kListProperties) EXPECT_EQ((entry.*accessor)(), Json::array()) << key;
    EXPECT_FALSE(entry.hasValidFeedURL());
    EXPECT_EQ(entry.description(), "(null)|(null)|(null)|(null)|(null)|(null)|(null)|(null)|(null)|(null)");
  }
}

// Each property reads its own key and returns the value as stored, whatever its type.
TEST(ConfigFileEntryTest, EveryPropertyReadsItsKeyAsStored) {
  const Json kValues[] = {Json(42), Json("text"), Json(true), Json(nullptr), Json::array({1, "x"}),
                          Json{{"nested", 1}}, Json(2.5)};
  for (const Json& value : kValues) {
    for (const auto& [accessor, key] : kPlainProperties) {
      ConfigFileEntry entry(Json{{key, value}});
      EXPECT_EQ((entry.*accessor)(), value) << key << " " << value.dump();
    }
    for (const auto& [accessor, key] : kListProperties) {
      ConfigFileEntry entry(Json{{key, value}});
      EXPECT_EQ((entry.*accessor)(), value) << key << " " << value.dump();
    }
  }
}

struct SystemDependentCase {
  const char* system;
  Json record;
  std::optional<Json> expected;
};

TEST(ConfigFileEntryTest, FeedURLDependsOnTheRunningSystem) {
  const SystemDependentCase kCases[] = {
      {"10.14", {{"fe", "A"}}, Json("A")},
      {"10.15.7", {{"fe", "A"}}, Json("A")},
      {"10.14", {{"fe", "A"}, {"fd", 15}, {"fe14", "B"}}, Json("B")},
      {"10.14", {{"fe", "A"}, {"fd", 15}}, std::nullopt},
      {"10.14", {{"fe", "A"}, {"fd", 14}, {"fe14", "B"}}, Json("A")},
      {"10.15", {{"fe", "A"}, {"fd", 15}, {"fe14", "B"}}, Json("A")},
      {"10.13.6", {{"fe", "A"}, {"fd", 15}, {"fe13", "C"}, {"fe14", "B"}}, Json("C")},
      {"10.14", {{"fe14", "B"}, {"fd", 15}}, std::nullopt},      // no base key: nothing
      {"10.14", {{"fe", "A"}, {"fd", "15"}, {"fe14", "B"}}, Json("B")},  // a text dependency counts by value
      {"10.14", {{"fe", "A"}, {"fd", -1}}, Json("A")},
      {"11.0", {{"fe", "A"}, {"fd", 1}, {"fe0", "Z"}}, Json("Z")},  // minor 0 on 11.0
      {"10.14", {{"fe", 7}, {"fd", 15}, {"fe14", false}}, Json(false)},
  };
  for (const auto& c : kCases) {
    ScopedSystemVersion system(c.system);
    EXPECT_EQ(ConfigFileEntry(c.record).feedURL(), c.expected) << c.system << " " << c.record.dump();
  }
}

TEST(ConfigFileEntryTest, OverridesDependOnTheRunningSystemThroughOd) {
  Json record = {{"or", "a"}, {"ora", "b"}, {"oro", "c"}, {"od", 15},
                 {"or14", "a14"}, {"ora14", "b14"}, {"fd", 0}, {"fe", "feed"}};
  {
    ScopedSystemVersion system("10.14");
    ConfigFileEntry entry(record);
    EXPECT_EQ(entry.isOverridenToBundleID(), Json("a14"));
    EXPECT_EQ(entry.isOverridenToBundleIDAppStore(), Json("b14"));
    EXPECT_EQ(entry.isOverridenToBundleIDOutOfStore(), std::nullopt);
    EXPECT_EQ(entry.feedURL(), Json("feed"));  // "fd", not "od", governs the feed
  }
  {
    ScopedSystemVersion system("10.15");
    ConfigFileEntry entry(record);
    EXPECT_EQ(entry.isOverridenToBundleID(), Json("a"));
    EXPECT_EQ(entry.isOverridenToBundleIDAppStore(), Json("b"));
    EXPECT_EQ(entry.isOverridenToBundleIDOutOfStore(), Json("c"));
  }
}

TEST(ConfigFileEntryTest, NoFeedMarkerIsReturnedButNotValid) {
  const std::pair<Json, bool> kCases[] = {
      {Json{{"fe", "https://example.com/feed.xml"}}, true},
      {Json{{"fe", "NOFEED_discontinued"}}, false},
      {Json{{"fe", "nofeed_lowercase"}}, true},
      {Json{{"fe", ""}}, true},
      {Json{{"fe", 12}}, false},  // not text: nothing to fetch
      {Json::object(), false},
  };
  for (const auto& [record, valid] : kCases) {
    ConfigFileEntry entry(record);
    EXPECT_EQ(entry.hasValidFeedURL(), valid) << record.dump();
    if (record.contains("fe")) {
      EXPECT_EQ(entry.feedURL(), record["fe"]);
    }
  }
}

TEST(ConfigFileEntryTest, PaidReleasesHasNoDefault) {
  EXPECT_FALSE(ConfigFileEntry(Json{{"iu", Json::array()}}).paidReleases());
  EXPECT_EQ(ConfigFileEntry(Json{{"pr", {"2.0"}}}).paidReleases(), Json({"2.0"}));
}

TEST(ConfigFileEntryTest, Descriptions) {
  ScopedSystemVersion system("10.15.7");
  ConfigFileEntry entry(Json{{"cn", "app"}, {"nv", 1}, {"ns", 0}, {"mb", 2}, {"ms", 3}, {"ai", true},
                             {"fe", "https://f"}, {"rn", "https://r"}, {"fr", 1}});
  EXPECT_EQ(entry.description(), "app|1|0|2|3|1|(null)|https://f|https://r|1");
  EXPECT_EQ(entry.descriptionLong(),
            "CaskName: app\nNoVersion: 1 VersionButNoSHA: 0 BVMapping: 2 SVSMapping: 3 MovedInto: 1 "
            "MovedOutof: (null) Free: 1\nFeedURL: https://f\nReleasenotes: https://r");
}

}  // namespace
}  // namespace vantor
