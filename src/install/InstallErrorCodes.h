#pragma once
// The install error codes (Cocoa error domain). The pipeline returns them, the shell maps
// them to user messages, and the same numbers serve as error-event numbers. Codes 10 to
// 13 come from the cask reader (sources/CaskHelper.h).

namespace vantor {

inline constexpr long kErrorInstallAdwareDetected = 5;
inline constexpr long kErrorInstallMissingBundleID = 6;
inline constexpr long kErrorInstallNoMapping = 7;
inline constexpr long kErrorInstallCaskfileDownloadFailed = 8;
inline constexpr long kErrorInstallCaskRequiresNewerOS = 9;
inline constexpr long kErrorInstallDownloadFailed = 14;
inline constexpr long kErrorInstallExtractionFailed = 15;
inline constexpr long kErrorInstallAppRequiresNewerOS = 16;
inline constexpr long kErrorInstallOnlyInstaller = 17;
inline constexpr long kErrorInstallNothingFound = 18;
inline constexpr long kErrorInstallInstallationFailed = 19;
inline constexpr long kErrorInstallAuthorizationCreateFailed = 20;
inline constexpr long kErrorInstallAuthorizationCopyRightsFailed = 21;
inline constexpr long kErrorInstallAuthorizationExecuteWithPrivilegesFailed = 22;
inline constexpr long kErrorInstallPrivilegedInstallFailed = 23;
inline constexpr long kErrorInstallDestinationPathExists = 24;  // named for messages, not raised
inline constexpr long kErrorInstallExtensionGuessError = 25;     // event only
inline constexpr long kErrorInstallAlreadyTriedURL = 26;
inline constexpr long kErrorInstallDownloadException = 27;
inline constexpr long kErrorInstallAborted = 31;
inline constexpr long kErrorInstallAuthorizationCanceled = 32;
inline constexpr long kErrorInstallAuthorizationDenied = 33;
inline constexpr long kErrorInstallUnlaunchableInstaller = 35;  // event only

}  // namespace vantor
