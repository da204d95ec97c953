#pragma once
// What an application bundle says about itself: its Info.plist merged with its
// InfoPlist.strings files and normalised to strings, an edition suffix for products whose
// editions share one bundle identifier, the signer named in its executable, and the
// minimum system its executable really demands. Stateless; safe from any thread.

#include <memory>
#include <optional>
#include <string>

#include "foundation/Json.h"
#include "install/InfoPlistFixupSource.h"

namespace vantor {

class InfoPlistHelper {
 public:
  // The catalog that dictionaryWithInfoPlistOfApp consults when not given one; set once
  // at launch by the shell (none: no record asks for a fixup).
  static void setFixupSource(std::shared_ptr<const InfoPlistFixupSource> source);
  static std::shared_ptr<const InfoPlistFixupSource> fixupSource();

  // The merged dictionary, or nothing for an app without a usable Info.plist, an iPhone
  // app and an app marked as company-internal. Version keys, the identifier and the
  // copyright come back as strings.
  static std::optional<Json> dictionaryWithInfoPlistOfApp(const std::string& appPath, bool fixupBundleIdentifier,
                                                          bool fixupVersionNumbers);
  static std::optional<Json> dictionaryWithInfoPlistOfApp(const std::string& appPath, bool fixupBundleIdentifier,
                                                          bool fixupVersionNumbers,
                                                          const InfoPlistFixupSource* catalog);

  // The dictionary of a property list (XML or binary) or of a ".strings" text file;
  // nothing when the file is missing, unreadable, a folder, or holds something else.
  static std::optional<Json> dictionaryWithContentsOfFile(const std::string& path);

  // The dictionary's identifier with the edition suffix of the fixup type (1-14); other
  // types give the identifier unchanged (nothing when the dictionary has none).
  static std::optional<std::string> _fixedBundleIdentifier(const Json& dictionary, const std::string& appPath,
                                                           long long fixupType);

  // Replacement texts for the three version keys; nothing where nothing changes. No
  // version fixup is defined yet, so every type leaves all three alone.
  struct FixedVersionInformation {
    std::optional<std::string> bundleVersion;
    std::optional<std::string> shortVersionString;
    std::optional<std::string> getInfoString;
  };
  static FixedVersionInformation _fixedVersionInformation(const Json& dictionary, const std::string& appPath,
                                                          long long fixupType);

  // "Developer ID Application: <name> (<team>)" found in the last 17100 bytes of the
  // executable, else the "Authority=" line of /usr/bin/codesign where that tool exists.
  static std::optional<std::string> getCodesignSignature(const std::string& appPath, const Json& infoDictionary);

  // The first existing of Contents/MacOS/<name>, Contents/<name>, <name> inside the app.
  static std::optional<std::string> getRealExecutablePath(const std::string& appPath, const Json& infoDictionary);

  // "LSMinimumSystemVersion", or the executable's own minimum as "major.minor.patch" when
  // that is newer.
  static std::optional<std::string> getRealMinimumOSForApp(const std::string& appPath, const Json& infoDictionary);
};

}  // namespace vantor
