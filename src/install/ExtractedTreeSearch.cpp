#include "install/ExtractedTreeSearch.h"

#include "foundation/FileHelpers.h"
#include "foundation/StringHelpers.h"

namespace vantor {

namespace {
constexpr std::string_view kAdwareMarker = "sdk/adserver/adManager.js";
constexpr std::size_t kMaximumNestingSlashes = 2;
}  // namespace

bool ExtractedTreeSearch::isNestedArchive(std::string_view relativePath, std::string_view downloadName) {
  std::string extension = pathExtension(relativePath);
  if (extension != "zip" && extension != "dmg") return false;
  if (relativePath == downloadName) return false;
  if (contains(relativePath, ".app")) return false;
  return count(relativePath, "/") <= kMaximumNestingSlashes;
}

bool ExtractedTreeSearch::containsAdwareMarker(const std::vector<std::string>& relativePaths) {
  for (const auto& path : relativePaths)
    if (contains(path, kAdwareMarker)) return true;
  return false;
}

bool ExtractedTreeSearch::isInstallerItem(const std::string& tmpDir, std::string_view relativePath) {
  std::string name = lastPathComponent(relativePath);
  std::string lower = lowercased(name);
  bool remover = contains(lower, "remove") || contains(lower, "uninstall");
  if (remover) return false;
  bool pkgItem = hasSuffix(name, ".pkg") || hasSuffix(name, ".mpkg");
  bool builderItem =
      fileExists(stringByAppendingPathComponent(stringByAppendingPathComponent(tmpDir, relativePath),
                                                "Contents/MacOS/installbuilder.sh"));
  bool installerName = hasSuffix(lower, "installer.app") || hasSuffix(lower, "setup.app") ||
                       hasPrefix(lower, "install ") || (contains(lower, " installer ") && hasSuffix(name, ".app"));
  return pkgItem || builderItem || installerName;
}

}  // namespace vantor
