#pragma once
// The rules that read an extracted download by its relative paths: which paths are
// archives inside the archive, the adware marker, and which items are installers rather
// than the application itself.

#include <string>
#include <string_view>
#include <vector>

namespace vantor {

class ExtractedTreeSearch {
 public:
  ExtractedTreeSearch() = delete;

  // A "zip" or "dmg" other than the download itself (downloadName), not inside an app
  // bundle (".app" nowhere in the path), at most two folders deep (two "/").
  static bool isNestedArchive(std::string_view relativePath, std::string_view downloadName);

  // A relative path that holds "sdk/adserver/adManager.js".
  static bool containsAdwareMarker(const std::vector<std::string>& relativePaths);

  // Whether the item at tmpDir/relativePath would be handed to the system as an
  // installer: a package, an InstallBuilder bundle, or an app named like an installer;
  // never something named as a remover or uninstaller.
  static bool isInstallerItem(const std::string& tmpDir, std::string_view relativePath);
};

}  // namespace vantor
