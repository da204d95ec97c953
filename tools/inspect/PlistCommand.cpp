// vantor-inspect plist APP [--json] [--fixup-type N]: reads an application bundle the way
// the helper would and shows its merged Info.plist, executable, signer and the minimum
// system its executable really demands; with a fixup type, the fixed identifier too.

#include <cstdio>
#include <optional>

#include "Subcommand.h"
#include "foundation/DataHelpers.h"
#include "foundation/FileHelpers.h"
#include "foundation/Json.h"
#include "install/InfoPlistHelper.h"

namespace vantor::inspect {
namespace {

// Stands in for the catalog: every record asks for the same identifier fixup.
class FixedTypeCatalog : public InfoPlistFixupSource {
 public:
  explicit FixedTypeCatalog(long long type) : type_(type) {}
  std::optional<Json> shouldFixupBundleIdentifier(const std::string&) const override { return Json(type_); }
  std::optional<Json> shouldFixupVersionInformation(const std::string&) const override { return std::nullopt; }

 private:
  long long type_;
};

// Property-list data has no JSON form; it is shown as base64 text.
Json printable(const Json& value) {
  if (value.is_binary()) {
    const auto& bytes = value.get_binary();
    return base64String(Bytes(bytes.begin(), bytes.end()));
  }
  if (!value.is_structured()) return value;
  Json out = value.is_object() ? Json::object() : Json::array();
  for (auto it = value.begin(); it != value.end(); ++it) {
    if (value.is_object()) out[it.key()] = printable(it.value());
    else out.push_back(printable(it.value()));
  }
  return out;
}

Json orNull(const std::optional<std::string>& text) { return text ? Json(*text) : Json(); }

std::string textOf(const Json& value) {
  if (value.is_null()) return "(none)";
  return value.is_string() ? value.get<std::string>() : value.dump();
}

int runPlist(const std::vector<std::string>& arguments) {
  std::optional<std::string> app;
  std::optional<long long> fixupType;
  bool json = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--json") {
      json = true;
    } else if (argument == "--fixup-type") {
      if (i + 1 >= arguments.size()) return usage("plist: --fixup-type needs a number");
      char* end = nullptr;
      const std::string& number = arguments[++i];
      fixupType = std::strtoll(number.c_str(), &end, 10);
      if (number.empty() || *end != '\0') return usage("plist: --fixup-type needs a number, not '" + number + "'");
    } else if (!argument.empty() && argument.front() == '-') {
      return usage("plist: unknown option '" + argument + "'");
    } else if (!app) {
      app = argument;
    } else {
      return usage("plist: more than one app given");
    }
  }
  if (!app) return usage("plist: no app given");
  if (!fileIsDirectory(*app)) return usage("plist: '" + *app + "' is not a folder");

  std::optional<FixedTypeCatalog> catalog;
  if (fixupType) catalog.emplace(*fixupType);
  auto dictionary = InfoPlistHelper::dictionaryWithInfoPlistOfApp(*app, fixupType.has_value(), false,
                                                                   catalog ? &*catalog : nullptr);
  if (!dictionary) {
    std::fprintf(stderr,
                 "vantor-inspect: plist: no usable Info.plist in '%s' (missing, unreadable, an iPhone app or a "
                 "company-internal one)\n",
                 app->c_str());
    return kExitRefused;
  }
  // The pipeline checks the minimum system against the Info.plist as written.
  Json infoPlist = InfoPlistHelper::dictionaryWithContentsOfFile(*app + "/Contents/Info.plist").value_or(*dictionary);

  Json report = {{"app", *app},
                 {"bundleIdentifier", dictionary->value("CFBundleIdentifier", Json())},
                 {"bundleVersion", dictionary->value("CFBundleVersion", Json())},
                 {"shortVersionString", dictionary->value("CFBundleShortVersionString", Json())},
                 {"minimumSystemVersion", dictionary->value("LSMinimumSystemVersion", Json())},
                 {"realMinimumSystemVersion", orNull(InfoPlistHelper::getRealMinimumOSForApp(*app, infoPlist))},
                 {"executable", orNull(InfoPlistHelper::getRealExecutablePath(*app, *dictionary))},
                 {"signer", orNull(InfoPlistHelper::getCodesignSignature(*app, *dictionary))},
                 {"dictionary", printable(*dictionary)}};
  if (fixupType) {
    report["fixupType"] = *fixupType;
    report["originalBundleIdentifier"] = infoPlist.value("CFBundleIdentifier", Json());
  }

  if (json) {
    std::printf("%s\n", report.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
    return kExitSuccess;
  }
  std::printf("app: %s\n", app->c_str());
  if (fixupType)
    std::printf("identifier: %s (fixup type %lld of %s)\n", textOf(report["bundleIdentifier"]).c_str(), *fixupType,
                textOf(report["originalBundleIdentifier"]).c_str());
  else
    std::printf("identifier: %s\n", textOf(report["bundleIdentifier"]).c_str());
  std::printf("version: %s\n", textOf(report["bundleVersion"]).c_str());
  std::printf("short version: %s\n", textOf(report["shortVersionString"]).c_str());
  std::printf("minimum system: %s\n", textOf(report["minimumSystemVersion"]).c_str());
  std::printf("real minimum system: %s\n", textOf(report["realMinimumSystemVersion"]).c_str());
  std::printf("executable: %s\n", textOf(report["executable"]).c_str());
  std::printf("signer: %s\n", textOf(report["signer"]).c_str());
  std::printf("dictionary:\n%s\n", report["dictionary"].dump(2, ' ', false, Json::error_handler_t::replace).c_str());
  return kExitSuccess;
}

const bool registered = registerInspectCommand(
    {"plist", "APP [--json] [--fixup-type N]",
     "reads the app's Info.plist with its strings files as the helper does; with a fixup type, fixes its identifier",
     runPlist});

}  // namespace
}  // namespace vantor::inspect
