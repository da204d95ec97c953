#include "install/InfoPlistHelper.h"

#include <algorithm>
#include <fstream>
#include <mutex>

#include "foundation/Assert.h"
#include "foundation/DataHelpers.h"
#include "foundation/FileHelpers.h"
#include "foundation/Log.h"
#include "foundation/StringHelpers.h"
#include "foundation/Task.h"
#include "install/InfoPlistValues.h"
#include "install/MachOReader.h"
#include "install/StringsFileParser.h"
#include "platform/PropertyList.h"

namespace vantor {
namespace {

using detail::stringForKey;
using detail::stringValue;
using detail::valueForKey;

// The signer's certificate sits near the end of the executable, in its signature.
constexpr std::uint64_t kSignatureTailSize = 17100;
constexpr double kCodesignTimeLimitSeconds = 60;

std::mutex gSourceMutex;
std::shared_ptr<const InfoPlistFixupSource> gSource;

long long integerOf(const std::optional<Json>& value) {
  if (!value) return 0;
  if (value->is_boolean()) return value->get<bool>() ? 1 : 0;
  if (value->is_number_integer()) return value->get<long long>();
  if (value->is_number_float()) return static_cast<long long>(value->get<double>());
  if (value->is_string()) {
    const std::string& text = value->get_ref<const std::string&>();
    char* end = nullptr;
    return std::strtoll(text.c_str(), &end, 10);
  }
  return 0;
}

void addEntries(Json& result, const Json& dictionary, bool withOverrides) {
  for (auto it = dictionary.begin(); it != dictionary.end(); ++it) {
    result[it.key()] = it.value();
    if (withOverrides) result[it.key() + ".override"] = it.value();
  }
}

// Re-reads a plist that did not parse as written: as text (which also decodes UTF-16
// with a byte-order mark) saved again as UTF-8 in a private scratch file.
std::optional<Json> dictionaryThroughTemporaryCopy(const std::string& infoPath) {
  auto text = detail::textOfFile(infoPath);
  if (!text) return std::nullopt;
  auto copy = makeTempFilepath("plist");
  if (!copy) {
    cc_log_error("Error: makeTempFilepath failed error");
    return std::nullopt;
  }
  std::optional<Json> dictionary;
  if (writeContentsAtomically(*copy, *text)) dictionary = InfoPlistHelper::dictionaryWithContentsOfFile(*copy);
  removeItem(stringByDeletingLastPathComponent(*copy));
  return dictionary;
}

}  // namespace

void InfoPlistHelper::setFixupSource(std::shared_ptr<const InfoPlistFixupSource> source) {
  std::lock_guard lock(gSourceMutex);
  gSource = std::move(source);
}

std::shared_ptr<const InfoPlistFixupSource> InfoPlistHelper::fixupSource() {
  std::lock_guard lock(gSourceMutex);
  return gSource;
}

std::optional<Json> InfoPlistHelper::dictionaryWithContentsOfFile(const std::string& path) {
  auto size = detail::regularFileSize(path);
  if (!size || *size > detail::kMaxReadableFileSize) return std::nullopt;
  auto data = contents(path);
  if (!data || data->empty()) return std::nullopt;
  if (auto list = platform::parsePropertyList(*data)) {
    if (list->is_object()) return list;
    return std::nullopt;
  }
  return StringsFileParser::parse(std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
}

std::optional<Json> InfoPlistHelper::dictionaryWithInfoPlistOfApp(const std::string& appPath,
                                                                  bool fixupBundleIdentifier,
                                                                  bool fixupVersionNumbers) {
  auto source = fixupSource();
  return dictionaryWithInfoPlistOfApp(appPath, fixupBundleIdentifier, fixupVersionNumbers, source.get());
}

std::optional<Json> InfoPlistHelper::dictionaryWithInfoPlistOfApp(const std::string& appPath,
                                                                  bool fixupBundleIdentifier,
                                                                  bool fixupVersionNumbers,
                                                                  const InfoPlistFixupSource* catalog) {
  Json result = Json::object();
  for (const char* stringsFile : {"/Contents/Resources/InfoPlist.strings", "/Contents/Resources/en.lproj/InfoPlist.strings",
                                  "/Contents/Resources/English.lproj/InfoPlist.strings", "/Info.plist"}) {
    std::string path = appPath + stringsFile;
    if (!fileExists(path)) continue;
    if (auto strings = dictionaryWithContentsOfFile(path)) addEntries(result, *strings, true);
  }

  std::string infoPath = appPath + "/Contents/Info.plist";
  auto info = dictionaryWithContentsOfFile(infoPath);
  std::optional<std::string> entryIdentifier;
  if (info) {
    if (auto bid = valueForKey(*info, "CFBundleIdentifier"); bid && bid->is_string()) entryIdentifier = bid->get<std::string>();
    addEntries(result, *info, false);
  }

  if (integerOf(valueForKey(result, "LSRequiresIPhoneOS")) != 0) return std::nullopt;

  if (result.empty() && fileExists(infoPath) && fileIsDirectory(appPath)) {
    auto reread = dictionaryThroughTemporaryCopy(infoPath);
    if (!reread || reread->empty()) {
      if (isReadablePath(infoPath))
        cc_log("Info: can not scan the app because it does not have a valid info.plist file %@", appPath);
      else
        cc_log("Info: can not scan the app because the current user has insufficient permissions to read the app: %@",
               appPath);
    } else {
      addEntries(result, *reread, false);
    }
  }
  if (result.empty()) return std::nullopt;

  if (fixupBundleIdentifier && catalog != nullptr && entryIdentifier) {
    if (auto type = catalog->shouldFixupBundleIdentifier(*entryIdentifier)) {
      auto fixed = _fixedBundleIdentifier(result, appPath, integerOf(type));
      if (fixed) {
        VANTOR_SOFT_CHECK(fixed->find_first_of("\r\n") == std::string::npos, *fixed);
        result["CFBundleIdentifier"] = *fixed;
      }
      entryIdentifier = fixed;
    }
  }
  if (fixupVersionNumbers && catalog != nullptr && entryIdentifier) {
    if (auto type = catalog->shouldFixupVersionInformation(*entryIdentifier)) {
      auto fixed = _fixedVersionInformation(result, appPath, integerOf(type));
      if (fixed.bundleVersion) result["CFBundleVersion"] = *fixed.bundleVersion;
      if (fixed.shortVersionString) result["CFBundleShortVersionString"] = *fixed.shortVersionString;
      if (fixed.getInfoString) result["CFBundleGetInfoString"] = *fixed.getInfoString;
    }
  }

  if (integerOf(valueForKey(result, "SensitiveCompanyInternalApp")) != 0) return std::nullopt;

  for (const char* key : {"CFBundleVersion", "CFBundleShortVersionString", "LSMinimumSystemVersion", "CFBundleIdentifier",
                          "CFBundleGetInfoString", "NSHumanReadableCopyright"}) {
    auto it = result.find(key);
    if (it == result.end()) continue;
    // A dictionary or data here cannot become text; it is dropped rather than kept as is.
    if (auto text = stringValue(*it)) *it = *text;
    else result.erase(it);
  }

  auto byArchitecture = valueForKey(result, "LSMinimumSystemVersionByArchitecture");
  if (byArchitecture && byArchitecture->is_object()) {
    auto x86 = stringForKey(*byArchitecture, "x86_64");
    auto declared = stringForKey(result, "LSMinimumSystemVersion");
    if (x86 && detail::compareVersions(declared, x86) == -1) {
      cc_log("Info: this app uses LSMinimumSystemVersionByArchitecture %@: %@ => %@", appPath, declared, x86);
      result["LSMinimumSystemVersion"] = *x86;
    }
  }

  static const std::string kNul(1, '\0');
  for (const char* key : {"CFBundleGetInfoString", "NSHumanReadableCopyright"}) {
    auto it = result.find(key);
    if (it != result.end() && it->is_string()) *it = removed(it->get<std::string>(), kNul);
  }
  return result;
}

InfoPlistHelper::FixedVersionInformation InfoPlistHelper::_fixedVersionInformation(const Json&, const std::string&,
                                                                                   long long) {
  return {};
}

std::optional<std::string> InfoPlistHelper::getRealExecutablePath(const std::string& appPath,
                                                                  const Json& infoDictionary) {
  std::string name = stringForKey(infoDictionary, "CFBundleExecutable").value_or("");
  if (hasPrefix(name, "MacOS/")) name = name.substr(6);
  for (const char* folder : {"Contents/MacOS", "Contents", ""}) {
    std::string candidate = stringByAppendingPathComponent(stringByAppendingPathComponent(appPath, folder), name);
    if (fileExists(candidate)) return candidate;
  }
  return std::nullopt;
}

std::optional<std::string> InfoPlistHelper::getCodesignSignature(const std::string& appPath,
                                                                 const Json& infoDictionary) {
  static const std::string kSigner = "Developer ID Application: ";
  static const std::string kNextAttribute = [] {
    auto bytes = dataFromHexString("3113301106035504");
    return std::string(bytes.begin(), bytes.end());
  }();

  auto executable = getRealExecutablePath(appPath, infoDictionary);
  if (executable && detail::regularFileSize(*executable).value_or(0) > kSignatureTailSize) {
    std::ifstream in(*executable, std::ios::binary);
    std::string tail(kSignatureTailSize, '\0');
    in.seekg(-static_cast<std::streamoff>(kSignatureTailSize), std::ios::end);
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    if (in.gcount() == static_cast<std::streamsize>(tail.size())) {
      size_t first = tail.find(kSigner);
      if (first != std::string::npos && tail.size() - first >= 129) {
        size_t second = std::string_view(tail).substr(first, 128).find(kNextAttribute);
        if (second != std::string_view::npos) {
          std::string signer = tail.substr(first, second);
          if (isValidUTF8(signer)) return signer;
        }
      }
    }
  }

  const std::string codesign = "/usr/bin/codesign";
  if (!fileExists(codesign)) return std::nullopt;
  TaskOptions options;
  options.timeoutSeconds = kCodesignTimeLimitSeconds;
  auto output = runAsTaskWithTerminationStatus({codesign, "-dvv", appPath}, nullptr, options);
  if (!output) return std::nullopt;
  for (const auto& line : lines(*output))
    if (hasPrefix(line, "Authority=")) return splitAfterFull(line, "=");
  return std::nullopt;
}

std::optional<std::string> InfoPlistHelper::getRealMinimumOSForApp(const std::string& appPath,
                                                                   const Json& infoDictionary) {
  auto declared = stringForKey(infoDictionary, "LSMinimumSystemVersion");
  auto executable = getRealExecutablePath(appPath, infoDictionary);
  if (!executable) return declared;
  MachOVersion version = MachOReader::minimumOSVersion(*executable);
  std::string found = version.text();
  if (version.major != 0 && detail::compareVersions(declared, found) == -1) {
    cc_log("Info: this app uses LC_VERSION_MIN_MACOSX %@: %@ => %@", appPath, declared, found);
    return found;
  }
  return declared;
}

}  // namespace vantor
