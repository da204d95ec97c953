// vantor-inspect cask FILE|URL [--bid BID] [--json]: reads a cask file as the helper does
// and prints version, download URL (or why it could not be filled), digest, application
// name, system requirement, homepage and appcast. A URL is downloaded with the cask
// validity rule; a file must pass the same rule.

#include <cstdio>
#include <optional>

#include "CommandOutput.h"
#include "Subcommand.h"
#include "sources/CaskHelper.h"

namespace vantor::inspect {
namespace {

// Generous compared with the helper's one second: a person waits, a link click does not.
constexpr double kDownloadTimeout = 10.0;
constexpr int kDownloadRetries = 1;
constexpr double kDownloadWait = 1.0;

void printText(const nlohmann::ordered_json& report) {
  static const std::pair<const char*, const char*> kLabels[] = {
      {"version", "version"},
      {"unprocessedDownloadURL", "unprocessed download URL"},
      {"downloadURL", "download URL"},
      {"errorCode", "error code"},
      {"appName", "app name"},
      {"sha256", "SHA-256"},
      {"osRequirement", "OS requirement"},
      {"homepageURL", "homepage"},
      {"appcastURL", "appcast"},
  };
  for (const auto& [key, label] : kLabels) {
    std::string value = textOf(report[key]);
    if (std::string(key) == "osRequirement" && !report[key].is_null()) value = "macOS 10." + value + " or later";
    std::printf("%s: %s\n", label, value.c_str());
  }
}

int runCask(const std::vector<std::string>& arguments) {
  std::optional<std::string> input, bundleIdentifier;
  bool json = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--json") {
      json = true;
    } else if (argument == "--bid") {
      if (i + 1 >= arguments.size()) return usage("cask: --bid needs a bundle identifier");
      bundleIdentifier = arguments[++i];
    } else if (!argument.empty() && argument.front() == '-') {
      return usage("cask: unknown option '" + argument + "'");
    } else if (!input) {
      input = argument;
    } else {
      return usage("cask: more than one file or URL given");
    }
  }
  if (!input) return usage("cask: no file or URL given");

  std::string caskfile;
  if (looksLikeURL(*input)) {
    auto downloaded = CaskHelper::downloadCaskfileFromURL(*input, kDownloadTimeout, kDownloadRetries, kDownloadWait);
    if (!downloaded) {
      printRefusal("cask", "no cask file came from " + *input +
                               " (no answer, an error status, or text that is not a cask file)");
      return kExitRefused;
    }
    caskfile = std::move(*downloaded);
  } else {
    auto data = readInputFile(*input);
    if (!data) return usage("cask: '" + *input + "' is not a readable file");
    if (!CaskHelper::isValidCaskfile(*data)) {
      printRefusal("cask", "'" + *input +
                               "' is not a cask file: it needs at least 6 lines of UTF-8 text containing \"cask\" "
                               "and \"end\"");
      return kExitRefused;
    }
    caskfile.assign(data->begin(), data->end());
  }

  std::optional<Error> error;
  auto downloadURL = CaskHelper::getDownloadURLFromCaskfile(caskfile, bundleIdentifier.value_or(""), &error);
  auto osRequirement = CaskHelper::getOSRequirementFromCaskfile(caskfile);

  nlohmann::ordered_json report;
  report["version"] = orNull(CaskHelper::getVersionFromCaskfile(caskfile));
  report["unprocessedDownloadURL"] = orNull(CaskHelper::getUnprocessedDownloadURLFromCaskfile(caskfile));
  report["downloadURL"] = orNull(downloadURL);
  report["errorCode"] = error ? Json(error->code) : Json();
  report["appName"] = orNull(CaskHelper::getAppnameFromCaskfile(caskfile));
  report["sha256"] = orNull(CaskHelper::getSHA256FromCaskfile(caskfile));
  report["osRequirement"] = osRequirement ? Json(*osRequirement) : Json();
  report["homepageURL"] = orNull(CaskHelper::getHomepageURLFromCaskfile(caskfile));
  report["appcastURL"] = orNull(CaskHelper::getAppcastURLFromCaskfile(caskfile));

  if (json) printJson(report);
  else printText(report);
  if (downloadURL) return kExitSuccess;
  // The helper could not install from this cask.
  if (error) printRefusal("cask", makeString("the download URL could not be filled in: %@", error->description()));
  else printRefusal("cask", "the cask has no url line");
  return kExitRefused;
}

const bool registered = registerInspectCommand(
    {"cask", "FILE|URL [--bid BID] [--json]",
     "reads a cask file as the helper does: version, download URL or error code, digest, app name, OS, homepage, "
     "appcast",
     runCask});

}  // namespace
}  // namespace vantor::inspect
