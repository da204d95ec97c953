#pragma once
// Cask files: the cask file's URL for a catalog cask name, the validity rule for a
// downloaded cask, and the facts read out of the cask text (application name, digest,
// version, download URL, language, system requirement, homepage, appcast).
//
// The reading is line-based and shallow. Ruby runs only for OS branches of version and
// url lines (a generated script, see CaskScript) and for interpolations that the built-in
// table does not cover (the bundle resources convertCaskDownloadURL.rb and
// getCaskLanguageReplacement.rb). Every method is stateless and synchronous; a script run
// is bounded in time.

#include <optional>
#include <string>
#include <string_view>

#include "foundation/Bytes.h"
#include "foundation/Error.h"

namespace vantor {

// Codes of the errors that getDownloadURLFromCaskfile returns (install error codes).
inline constexpr long kErrorInstallCaskfileContainsNoVersions = 10;
inline constexpr long kErrorInstallConvertURLScriptFailedException = 11;
inline constexpr long kErrorInstallConvertURLScriptFailedEmpty = 12;
inline constexpr long kErrorInstallConvertURLScriptFailedStatus = 13;

class CaskHelper {
 public:
  CaskHelper() = delete;

  // "https://<host>/.../Casks/<name>.rb"; the first character of the name may pick the
  // versions ("@"), drivers ("=") or maker's ("$") repository.
  static std::string getCaskURLForCaskname(std::string_view caskName);

  // Whether downloaded bytes count as a cask file: at least 6 lines of UTF-8 text that
  // contain "cask" and "end". Handed to the downloader as its validity checker.
  static bool isValidCaskfile(const Bytes& data);
  static bool isValidCaskfile(std::string_view data);

  // Downloads with retries; nothing when no valid cask arrived. A text that opens more
  // than one cask is cut to its first cask block.
  static std::optional<std::string> downloadCaskfile(std::string_view caskName, double timeout, int maximumRetries,
                                                     double waitingTime);
  static std::optional<std::string> downloadCaskfileFromURL(const std::string& url, double timeout,
                                                            int maximumRetries, double waitingTime);

  // The bundle's name without ".app".
  static std::optional<std::string> getAppnameFromCaskfile(std::string_view caskfile);
  // The digest text, or ":no_check".
  static std::optional<std::string> getSHA256FromCaskfile(std::string_view caskfile);
  // The version, or ":latest".
  static std::optional<std::string> getVersionFromCaskfile(std::string_view caskfile);
  // The download URL as the cask writes it, interpolations kept.
  static std::optional<std::string> getUnprocessedDownloadURLFromCaskfile(std::string_view caskfile);
  // The download URL with every interpolation filled. Nothing when the cask has no url
  // line (error untouched) or when filling failed (error set to codes 10-13).
  static std::optional<std::string> getDownloadURLFromCaskfile(std::string_view caskfile,
                                                               std::string_view bundleIdentifier,
                                                               std::optional<Error>* error);
  // The language code that the cask's language blocks pick for the user; "en-US" at worst.
  static std::string getPreferredLanguageFromCaskfile(std::string_view caskfile);
  // N of "depends_on macos: '>= :<release>'" (macOS 10.N).
  static std::optional<int> getOSRequirementFromCaskfile(std::string_view caskfile);
  static std::optional<std::string> getHomepageURLFromCaskfile(std::string_view caskfile);
  static std::optional<std::string> getUnprocessedAppcastURLFromCaskfile(std::string_view caskfile);
  // The appcast URL filled with the version and the download URL, braces and quotes escaped.
  static std::optional<std::string> getAppcastURLFromCaskfile(std::string_view caskfile);

  // The one url line ("url '...'") / version line ("version '...'") that the running
  // system selects among the cask's OS branches.
  static std::optional<std::string> _getRubyURLFromCaskfile(std::string_view caskfile);
  static std::optional<std::string> _getRubyVersionFromCaskfile(std::string_view caskfile);
  // Fills the version placeholders of the built-in table; others stay as written.
  static std::string _replaceVersionInURL(std::string_view url, std::string_view version);
};

}  // namespace vantor
