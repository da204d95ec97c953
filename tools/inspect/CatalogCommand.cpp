// vantor-inspect catalog FILE [BID] [--json]: checks and decodes a catalog file with the
// build's verification key; prints the decoder's error code and user info, or the record
// count and, for BID, every property of its record as the running system selects them.

#include <cstdio>
#include <optional>

#include "CommandOutput.h"
#include "Subcommand.h"
#include "catalog/ConfigFile.h"
#include "catalog/ConfigFileEntry.h"
#include "platform/SystemVersion.h"

namespace vantor::inspect {
namespace {

using Accessor = std::optional<Json> (ConfigFileEntry::*)() const;

struct Property {
  const char* name;
  Accessor accessor;
};

// The record's properties in the order the record declares them.
const Property kProperties[] = {
    {"caskName", &ConfigFileEntry::caskName},
    {"caskHasNoVersion", &ConfigFileEntry::caskHasNoVersion},
    {"caskHasVersionButNoSHA", &ConfigFileEntry::caskHasVersionButNoSHA},
    {"caskVersionMappingToSVS", &ConfigFileEntry::caskVersionMappingToSVS},
    {"caskVersionMappingToBV", &ConfigFileEntry::caskVersionMappingToBV},
    {"transformationNeededForBV", &ConfigFileEntry::transformationNeededForBV},
    {"transformationNeededForSVS", &ConfigFileEntry::transformationNeededForSVS},
    {"ignoredUpdates", nullptr},
    {"mislabeledUpdates", nullptr},
    {"ignoredPatterns", nullptr},
    {"mislabeledPatterns", nullptr},
    {"feedURL", &ConfigFileEntry::feedURL},
    {"homepageURL", &ConfigFileEntry::homepageURL},
    {"releasenotesURL", &ConfigFileEntry::releasenotesURL},
    {"embeddableReleaseNotes", &ConfigFileEntry::embeddableReleaseNotes},
    {"isLaurelSupportApp", &ConfigFileEntry::isLaurelSupportApp},
    {"isLaunchUpdaterApp", &ConfigFileEntry::isLaunchUpdaterApp},
    {"isFree", &ConfigFileEntry::isFree},
    {"isIgnored", &ConfigFileEntry::isIgnored},
    {"isDiscontinued", &ConfigFileEntry::isDiscontinued},
    {"codeSignature", &ConfigFileEntry::codeSignature},
    {"hasMovedIntoAppstore", &ConfigFileEntry::hasMovedIntoAppstore},
    {"hasMovedOutOfAppstore", &ConfigFileEntry::hasMovedOutOfAppstore},
    {"hadLatestVersionAvailableInAppstore", &ConfigFileEntry::hadLatestVersionAvailableInAppstore},
    {"isOverridenToBundleID", &ConfigFileEntry::isOverridenToBundleID},
    {"isOverridenToBundleIDAppStore", &ConfigFileEntry::isOverridenToBundleIDAppStore},
    {"isOverridenToBundleIDOutOfStore", &ConfigFileEntry::isOverridenToBundleIDOutOfStore},
    {"overrideExplanation", &ConfigFileEntry::overrideExplanation},
    {"updateExplanation", &ConfigFileEntry::updateExplanation},
    {"unupdatableExplanation", &ConfigFileEntry::unupdatableExplanation},
    {"ignoreExplanation", &ConfigFileEntry::ignoreExplanation},
    {"doesNotHaveBuiltInUpdater", &ConfigFileEntry::doesNotHaveBuiltInUpdater},
    {"shouldSwitchFeedBVandSVS", &ConfigFileEntry::shouldSwitchFeedBVandSVS},
    {"shouldIgnoreBVInFeed", &ConfigFileEntry::shouldIgnoreBVInFeed},
    {"shouldCopyGIStoSVS", &ConfigFileEntry::shouldCopyGIStoSVS},
    {"shouldCopyGIStoBV", &ConfigFileEntry::shouldCopyGIStoBV},
    {"shouldFillMissingVersion", &ConfigFileEntry::shouldFillMissingVersion},
    {"feedHasOSDependency", &ConfigFileEntry::feedHasOSDependency},
    {"overrideHasOSDependency", &ConfigFileEntry::overrideHasOSDependency},
    {"minimumOSForSendingToDB", &ConfigFileEntry::minimumOSForSendingToDB},
    {"shouldUseSpecialComparator", &ConfigFileEntry::shouldUseSpecialComparator},
    {"minimumUserPercentageForValidUpdate", &ConfigFileEntry::minimumUserPercentageForValidUpdate},
    {"updateBundleName", &ConfigFileEntry::updateBundleName},
    {"updateBundleExecutable", &ConfigFileEntry::updateBundleExecutable},
    {"updatePathSuffix", &ConfigFileEntry::updatePathSuffix},
    {"shouldFixupBundleIdentifier", &ConfigFileEntry::shouldFixupBundleIdentifier},
    {"shouldFixupVersionInformation", &ConfigFileEntry::shouldFixupVersionInformation},
    {"shouldFixupAppstore", &ConfigFileEntry::shouldFixupAppstore},
    {"shouldUseFakeUserAgentForDownload", &ConfigFileEntry::shouldUseFakeUserAgentForDownload},
    {"shouldUseCustomUserAgentForDownload", &ConfigFileEntry::shouldUseCustomUserAgentForDownload},
    {"shouldUseCustomUserAgentForFeed", &ConfigFileEntry::shouldUseCustomUserAgentForFeed},
    {"shouldUseCustomRefererForDownload", &ConfigFileEntry::shouldUseCustomRefererForDownload},
    {"shouldAskUserAboutMultilingualCaskUpdate", &ConfigFileEntry::shouldAskUserAboutMultilingualCaskUpdate},
    {"shouldWarnOfMalware", &ConfigFileEntry::shouldWarnOfMalware},
    {"malwareExplanation", &ConfigFileEntry::malwareExplanation},
    {"fileDateIsUnreliable", &ConfigFileEntry::fileDateIsUnreliable},
    {"feedHasReliablePubDate", &ConfigFileEntry::feedHasReliablePubDate},
    {"laurelURL", &ConfigFileEntry::laurelURL},
    {"laurelPattern", &ConfigFileEntry::laurelPattern},
    {"laurelPatternBVTransformation", &ConfigFileEntry::laurelPatternBVTransformation},
    {"laurelPatternSVSTransformation", &ConfigFileEntry::laurelPatternSVSTransformation},
    {"laurelPatternRemoveZeroes", &ConfigFileEntry::laurelPatternRemoveZeroes},
    {"paidReleases", &ConfigFileEntry::paidReleases},
    {"appUsesStagedUpdates", &ConfigFileEntry::appUsesStagedUpdates},
    {"otherVersionAppStoreVersion", &ConfigFileEntry::otherVersionAppStoreVersion},
    {"otherVersionOutOfStoreVersion", &ConfigFileEntry::otherVersionOutOfStoreVersion},
};

Json listProperty(const ConfigFileEntry& entry, const std::string& name) {
  if (name == "ignoredUpdates") return entry.ignoredUpdates();
  if (name == "mislabeledUpdates") return entry.mislabeledUpdates();
  if (name == "ignoredPatterns") return entry.ignoredPatterns();
  return entry.mislabeledPatterns();
}

// Ordered, so the text and JSON forms list the properties as the record declares them.
nlohmann::ordered_json properties(const ConfigFileEntry& entry) {
  nlohmann::ordered_json out;
  for (const auto& property : kProperties)
    out[property.name] = property.accessor ? orNull((entry.*property.accessor)()) : listProperty(entry, property.name);
  out["hasValidFeedURL"] = entry.hasValidFeedURL();
  out["descriptionLong"] = entry.descriptionLong();
  return out;
}

void printText(const nlohmann::ordered_json& report) {
  std::printf("file: %s\n", report["file"].get<std::string>().c_str());
  if (!report["errorCode"].is_null()) {
    std::printf("error code: %s\nuser info: %s\n", textOf(report["errorCode"]).c_str(),
                textOf(report["userInfo"]).c_str());
    return;
  }
  std::printf("records: %s\n", textOf(report["recordCount"]).c_str());
  if (!report.contains("bundleIdentifier")) return;
  std::printf("bundle identifier: %s (%s, system %s)\n", report["bundleIdentifier"].get<std::string>().c_str(),
              report["found"].get<bool>() ? "found" : "no record", report["systemVersion"].get<std::string>().c_str());
  for (const auto& [name, value] : report["properties"].items())
    if (name != "descriptionLong") std::printf("  %s: %s\n", name.c_str(), textOf(value).c_str());
}

int runCatalog(const std::vector<std::string>& arguments) {
  std::optional<std::string> file, bundleIdentifier;
  bool json = false;
  for (const auto& argument : arguments) {
    if (argument == "--json") json = true;
    else if (!argument.empty() && argument.front() == '-') return usage("catalog: unknown option '" + argument + "'");
    else if (!file) file = argument;
    else if (!bundleIdentifier) bundleIdentifier = argument;
    else return usage("catalog: more than a file and a bundle identifier given");
  }
  if (!file) return usage("catalog: no file given");
  auto data = readInputFile(*file);
  if (!data) return usage("catalog: '" + *file + "' is not a readable file");

  nlohmann::ordered_json report;
  report["file"] = *file;
  report["errorCode"] = nullptr;
  report["userInfo"] = nullptr;
  report["recordCount"] = nullptr;
  auto finish = [&](int status) {
    if (json) printJson(report);
    else printText(report);
    return status;
  };

  Error error;
  auto text = ConfigFile::uncompressConfigFile(&*data, &error);
  if (!text) {
    report["errorCode"] = error.code;
    report["userInfo"] = error.userInfo;
    printRefusal("catalog", makeString("'%@' does not decode: error %li", *file, error.code));
    return finish(kExitRefused);
  }
  auto catalog = ConfigFile::configFileWithJSONData(std::move(*text));
  if (!catalog || !catalog->hasBundleIDMapping()) {
    printRefusal("catalog", "'" + *file + "' verifies, but its payload is not a JSON object with a bundleIDMapping object");
    return finish(kExitRefused);
  }
  report["recordCount"] = catalog->dictionary()->at("bundleIDMapping").size();
  if (!bundleIdentifier) return finish(kExitSuccess);

  const bool found = catalog->hasEntryForBundleIdentifier(*bundleIdentifier);
  report["bundleIdentifier"] = *bundleIdentifier;
  report["found"] = found;
  report["systemVersion"] = platform::systemVersion();
  report["properties"] = properties(catalog->entryForBundleIdentifier(*bundleIdentifier));
  if (!found) printRefusal("catalog", "no record for '" + *bundleIdentifier + "' (bundle identifiers are compared exactly)");
  return finish(found ? kExitSuccess : kExitRefused);
}

const bool registered = registerInspectCommand(
    {"catalog", "FILE [BID] [--json]",
     "verifies and decodes a catalog file; prints the error, or the record count and BID's record properties",
     runCatalog});

}  // namespace
}  // namespace vantor::inspect
