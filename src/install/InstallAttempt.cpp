#include "install/InstallAttempt.h"

#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

#include "download/HTTPDownloader.h"
#include "foundation/Alerts.h"
#include "foundation/Assert.h"
#include "foundation/DataHelpers.h"
#include "foundation/Dispatch.h"
#include "foundation/FileHelpers.h"
#include "foundation/Log.h"
#include "foundation/NamedValues.h"
#include "foundation/StringHelpers.h"
#include "foundation/URL.h"
#include "install/ConfigFileFixupSource.h"
#include "install/DownloadedFileType.h"
#include "install/ExtractedTreeSearch.h"
#include "install/InfoPlistHelper.h"
#include "install/InstallErrorCodes.h"
#include "install/InstallProgress.h"
#include "install/ZRSUUnarchiver.h"
#include "platform/PropertyList.h"
#include "platform/SystemVersion.h"
#include "platform/Workspace.h"
#include "sources/CGIInfoHelper.h"
#include "sources/CaskHelper.h"
#include "sources/ZRSUStandardVersionComparator.h"

namespace vantor::detail {

namespace {

constexpr double kCaskfileTimeout = 5.0;
constexpr int kCaskfileRetries = 3;
constexpr double kCaskfileWaitingTime = 3.0;
constexpr const char* kFakeBrowserUserAgent =
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_14) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/12.0 "
    "Safari/605.1.15";
constexpr std::size_t kDigestLength = 64;
constexpr float kPosixSpawnAlertDelay = 1.0F;

// A catalog value used as text: strings as they are, anything else as it prints.
std::optional<std::string> textValue(const std::optional<Json>& value) {
  if (!value || value->is_null()) return std::nullopt;
  if (value->is_string()) return value->get<std::string>();
  return describe(*value);
}

// The text with its percent escapes decoded; nothing when an escape is malformed or the
// decoded bytes are not UTF-8.
std::optional<std::string> removingPercentEncoding(const std::string& text) {
  auto hex = [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    if (i + 2 >= text.size() || !hex(text[i + 1]) || !hex(text[i + 2])) return std::nullopt;
  }
  std::string decoded = unescaped(text);
  if (!isValidUTF8(decoded)) return std::nullopt;
  return decoded;
}

}  // namespace

InstallAttempt::InstallAttempt(const std::string& bundleIdentifier, const ConfigFile& configFile,
                               const std::optional<std::string>& sparkleDownloadURL, bool useSparkleURL,
                               std::string directory, std::optional<std::string>* finalPath,
                               std::shared_ptr<AbortAppInfos> abortAppInfos)
    : bundleIdentifier_(bundleIdentifier),
      configFile_(configFile),
      entry_(configFile.entryForBundleIdentifier(bundleIdentifier)),
      sparkleDownloadURL_(sparkleDownloadURL),
      useSparkleURL_(useSparkleURL),
      directory_(std::move(directory)),
      finalPath_(finalPath),
      abortAppInfos_(std::move(abortAppInfos)) {}

Error InstallAttempt::installError(long code, const std::optional<Json>& userInfo) {
  return Error(kCocoaErrorDomain, code, userInfo.value_or(Json::object()));
}

std::optional<Error> InstallAttempt::run() {
  VANTOR_ASSERT(!isMainThread());
  VANTOR_ASSERT(!useSparkleURL_ || sparkleDownloadURL_);

  if (bundleIdentifier_.empty()) {
    cc_log_error("Error: there does not seem te be a bundleIdentifier for app ");
    return installError(kErrorInstallMissingBundleID);
  }
  InstallProgress::postMessage("Obtaining app download location…");
  caskName_ = textValue(entry_.caskName());

  if (!useSparkleURL_)
    if (auto error = readCaskfile()) return error;
  if (auto error = settleDownloadURL()) return error;
  if (auto error = download()) return error;
  InstallProgress::postAbortStop();
  if (auto error = storeDownload()) return error;

  InstallProgress::postMessage("Extracting app update…");
  if (hasSuffix(tmpFilePath_, ".pkg")) return handOffInstaller(tmpFilePath_);

  auto unarchiver = ZRSUUnarchiver::unarchiverForPath(tmpFilePath_, std::nullopt, std::nullopt);
  if (!unarchiver) return extractionFailure(std::nullopt);
  if (auto unarchiveError = unarchiver->unarchive()) return extractionFailure(unarchiveError);

  auto contents = directoryContentsRecursive(*tmpDir_).value_or(std::vector<std::string>{});
  extractNestedArchives(contents);

  if (ExtractedTreeSearch::containsAdwareMarker(contents)) {
    cc_log_error("Error: we've detected adware in the download and refuse to install it %@ %@", bundleIdentifier_,
                 downloadURL_);
    // Nothing of an adware download is worth keeping.
    removeTmpDir();
    auto info = makeDictionaryOfVariables("caskName, bundleIdentifier, downloadURL", caskName_, bundleIdentifier_,
                                          downloadURL_);
    CGIInfoHelper::collectErrorEvent(kErrorInstallAdwareDetected, info);
    return installError(kErrorInstallAdwareDetected, info);
  }

  Found found;
  if (auto error = searchCandidates(contents, found)) return error;
  if (!found.app) {
    if (found.installer) return handOffInstaller(*found.installer);
    removeTmpDir();
    std::string droppedCandidatedsInfo;
    for (std::size_t i = 0; i < droppedCandidates_.size(); ++i)
      droppedCandidatedsInfo += (i ? "|" : "") + droppedCandidates_[i];
    CGIInfoHelper::collectErrorEvent(
        kErrorInstallNothingFound,
        makeDictionaryOfVariables("caskName, bundleIdentifier, downloadURL, __length, droppedCandidatedsInfo, "
                                  "@(weAreDoingCaskRetry)",
                                  caskName_, bundleIdentifier_, downloadURL_, downloadedFileData_.size(),
                                  droppedCandidatedsInfo, weAreDoingCaskRetry_));
    cc_log_error("Error: we found nothing useful in the extracted archive %@ %@ %@", bundleIdentifier_, caskName_,
                 droppedCandidatedsInfo);
    return installError(kErrorInstallNothingFound,
                        makeDictionaryOfVariables("caskName, bundleIdentifier, downloadURL, downloadedFileData, "
                                                  "droppedCandidatedsMessages",
                                                  caskName_, bundleIdentifier_, downloadURL_,
                                                  downloadedFileDataValue(), Json(droppedCandidates_)));
  }
  return install(*found.app);
}

std::optional<Error> InstallAttempt::readCaskfile() {
  if (!caskName_) {
    cc_log_error("Error: there does not seem to be a mapping for bundleID %@", bundleIdentifier_);
    return installError(kErrorInstallNoMapping, makeDictionaryOfVariables("bundleIdentifier", bundleIdentifier_));
  }
  std::string caskfileURLString = CaskHelper::getCaskURLForCaskname(*caskName_);
  caskfile_ =
      CaskHelper::downloadCaskfileFromURL(caskfileURLString, kCaskfileTimeout, kCaskfileRetries, kCaskfileWaitingTime);
  if (!caskfile_) {
    return installError(kErrorInstallCaskfileDownloadFailed,
                        makeDictionaryOfVariables("caskfileURLString, bundleIdentifier", caskfileURLString,
                                                  bundleIdentifier_));
  }

  if (auto required = CaskHelper::getOSRequirementFromCaskfile(*caskfile_)) {
    long minor = platform::operatingSystemVersion().minorVersion;
    if (*required > minor) {
      cc_log_error("Warning: dropping update because depends_on requires newer OS than we have %ld %@", minor,
                   *required);
      return installError(kErrorInstallCaskRequiresNewerOS);
    }
  }

  std::optional<Error> caskError;
  downloadURL_ = CaskHelper::getDownloadURLFromCaskfile(*caskfile_, bundleIdentifier_, &caskError);
  caskSHA256_ = CaskHelper::getSHA256FromCaskfile(*caskfile_);
  if (!downloadURL_) {
    if (caskError) return caskError;
    // A cask without any url line: nothing to download, which must not read as success.
    cc_log_error("Error: the cask file of %@ names no download URL %@", bundleIdentifier_, caskfileURLString);
    return installError(kErrorInstallCaskfileDownloadFailed,
                        makeDictionaryOfVariables("caskfileURLString, bundleIdentifier", caskfileURLString,
                                                  bundleIdentifier_));
  }
  return std::nullopt;
}

std::optional<Error> InstallAttempt::settleDownloadURL() {
  if (useSparkleURL_) {
    const std::string& given = *sparkleDownloadURL_;
    downloadURL_ = removingPercentEncoding(given) == given ? escaped(given) : given;
    caskName_ = downloadURL_;
  } else if (sparkleDownloadURL_ && downloadURL_ == sparkleDownloadURL_) {
    cc_log_error("Warning: dropping downloadURL %@ of cask %@ because its the same we tried for sparkle already",
                 downloadURL_, entry_.caskName());
    return installError(kErrorInstallAlreadyTriedURL);
  }
  weAreDoingCaskRetry_ = sparkleDownloadURL_.has_value() && !useSparkleURL_;
  return std::nullopt;
}

bool InstallAttempt::isAborted() const {
  return abortAppInfos_ != nullptr && abortAppInfos_->containsObjectIdenticalTo(bundleIdentifier_);
}

std::optional<Error> InstallAttempt::download() {
  InstallProgress::postMessage("Downloading app update…");
  InstallProgress::postURL(*downloadURL_);
  cc_log("Info: going to download %@", downloadURL_);

  HTTPHeaderFields headers;
  if (entry_.shouldUseFakeUserAgentForDownload())
    headers["User-Agent"] = kFakeBrowserUserAgent;
  else if (auto agent = textValue(entry_.shouldUseCustomUserAgentForDownload()))
    headers["User-Agent"] = *agent;
  if (auto referer = textValue(entry_.shouldUseCustomRefererForDownload())) headers["Referer"] = *referer;

  std::optional<Bytes> data;
  try {
    HTTPDownloader downloader;
    // An unusable URL text gets no request at all: the same as a failed download.
    if (auto url = URL::parse(*downloadURL_)) {
      data = downloader.downloadURL(
          *url, headers, [](std::int64_t received, std::int64_t expected) {
            InstallProgress::postDownload(received, expected);
          },
          [this] { return isAborted(); });
    }
  } catch (const std::exception& exception) {
    std::string description = exception.what();
    cc_log_error("Fatal Error: download of download yielded exception %@ %@ %@", bundleIdentifier_, downloadURL_,
                 description);
    CGIInfoHelper::collectErrorEvent(kErrorInstallDownloadException,
                                     makeDictionaryOfVariables("bundleIdentifier, downloadURL, exception.description",
                                                               bundleIdentifier_, downloadURL_, description));
    return installError(kErrorInstallDownloadException);
  }

  if (!data || data->empty()) {
    auto userInfo = makeDictionaryOfVariables("caskName, bundleIdentifier, downloadURL", caskName_,
                                              bundleIdentifier_, downloadURL_);
    if (isAborted()) {
      cc_log("Info: download of update aborted %@ %@", bundleIdentifier_, downloadURL_);
      return installError(kErrorInstallAborted, userInfo);
    }
    cc_log_error("Error: could not download the update for %@ from %@", bundleIdentifier_, downloadURL_);
    return installError(kErrorInstallDownloadFailed, userInfo);
  }
  downloadedFileData_ = std::move(*data);
  return std::nullopt;
}

std::optional<Error> InstallAttempt::storeDownload() {
  tmpDir_ = makeTempDirectory();
  if (!tmpDir_) return installError(kErrorInstallExtractionFailed, makeDictionaryOfVariables("tmpDir", tmpDir_));

  tmpFilePath_ =
      stringByAppendingPathComponent(*tmpDir_, DownloadedFileType::fileNameForDownloadURL(*downloadURL_));
  // Written once, without a copy; a scratch file need not wait for the disk.
  writeSucc_ = platform::writeFileAtomically(
      tmpFilePath_,
      std::string_view(reinterpret_cast<const char*>(downloadedFileData_.data()), downloadedFileData_.size()),
      nullptr, false);
  if (!DownloadedFileType::hasKnownArchiveExtension(lastPathComponent(tmpFilePath_))) guessFileType();
  return std::nullopt;
}

void InstallAttempt::guessFileType() {
  InstallProgress::postMessage("Guessing file extension…");
  auto guess = DownloadedFileType::guess(tmpFilePath_);
  if (!guess.recognised) {
    cc_log_error("Error: download has no extension and could not recover it from magic %@ %@ %i ... defaulting to dmg",
                 bundleIdentifier_, downloadURL_, guess.magic);
    CGIInfoHelper::collectErrorEvent(kErrorInstallExtensionGuessError,
                                     makeDictionaryOfVariables("bundleIdentifier, _fileSize, magicNum, downloadURL",
                                                               bundleIdentifier_, guess.size, guess.magic,
                                                               downloadURL_));
  }
  cc_log("Warning: download has no extension, guessing %@ %@ %@", bundleIdentifier_, downloadURL_, guess.extension);
  std::string renamed = tmpFilePath_ + guess.extension;
  std::error_code renameError;
  std::filesystem::rename(tmpFilePath_, renamed, renameError);
  if (renameError) {
    cc_log_error("Error: unable to move file from to %@ %@", tmpFilePath_, renamed);
    return;
  }
  tmpFilePath_ = renamed;
}

std::string InstallAttempt::tmpFilePathSizeString() const { return std::to_string(fileSize(tmpFilePath_)); }

Json InstallAttempt::downloadedFileDataValue() const { return Json::binary(downloadedFileData_); }

void InstallAttempt::removeTmpDir() {
  if (tmpDir_) removeItem(*tmpDir_);
}

std::optional<Error> InstallAttempt::extractionFailure(const std::optional<Error>& unarchiveError) {
  std::string errorDescription = unarchiveError ? unarchiveError->description() : "";
  std::string sizeString = tmpFilePathSizeString();
  std::string computedSHA256 =
      caskSHA256_ && caskSHA256_->size() == kDigestLength ? SHA256(downloadedFileData_) : "skipped";
  auto report = makeDictionaryOfVariables(
      "_downloadedFileSize, caskName, bundleIdentifier, downloadURL, errorDescription, tmpFilePathSizeString, "
      "@(writeSucc), computedSHA256, caskSHA256",
      downloadedFileData_.size(), caskName_, bundleIdentifier_, downloadURL_, errorDescription, sizeString,
      writeSucc_, computedSHA256, caskSHA256_);

  removeTmpDir();
  // The size as it was: the file is gone with tmpDir.
  cc_log_error("Error: extraction of downloaded package failed %@ %@ %@", bundleIdentifier_, errorDescription,
               sizeString);
  if (unarchiveError && contains(describe(unarchiveError->userInfo), "posix_spawn")) {
    dispatch_after_main(kPosixSpawnAlertDelay, [] {
      alert_apptitled(std::string("A basic system capability failed (posix_spawn). Please reboot your system "
                                  "before trying to update any other app"),
                      std::string("OK"));
    });
  } else {
    CGIInfoHelper::collectErrorEvent(kErrorInstallExtractionFailed, report);
  }
  Json userInfo = report.value_or(Json::object());
  userInfo["downloadedFileData"] = downloadedFileDataValue();
  return installError(kErrorInstallExtractionFailed, userInfo);
}

void InstallAttempt::extractNestedArchives(std::vector<std::string>& contents) {
  std::string downloadName = lastPathComponent(tmpFilePath_);
  bool tried = false;
  for (const auto& path : contents) {
    if (!ExtractedTreeSearch::isNestedArchive(path, downloadName)) continue;
    tried = true;
    cc_log_error("Info: there seems to be DOUBLE-COMPRESSION, trying to unarchive %@ %@", bundleIdentifier_, path);
    std::optional<Error> error;
    auto unarchiver =
        ZRSUUnarchiver::unarchiverForPath(stringByAppendingPathComponent(*tmpDir_, path), std::nullopt, std::nullopt);
    if (unarchiver) {
      error = unarchiver->unarchive();
    } else {
      error = Error(kSUSparkleErrorDomain, kSUUnarchivingError);
    }
    if (error) {
      std::string newErrorDescription = unarchiver ? error->description() : "";
      CGIInfoHelper::collectErrorEvent(
          kErrorInstallExtractionFailed,
          makeDictionaryOfVariables("caskName, bundleIdentifier, downloadURL, newErrorDescription, "
                                    "tmpFilePathSizeString",
                                    caskName_, bundleIdentifier_, downloadURL_, newErrorDescription,
                                    tmpFilePathSizeString()));
    }
  }
  if (tried) contents = directoryContentsRecursive(*tmpDir_).value_or(std::vector<std::string>{});
}

std::optional<Error> InstallAttempt::searchCandidates(const std::vector<std::string>& contents, Found& found) {
  ConfigFileFixupSource fixups(configFile_);
  for (const auto& path : contents) {
    if (!found.installer && ExtractedTreeSearch::isInstallerItem(*tmpDir_, path)) {
      found.installer = stringByAppendingPathComponent(*tmpDir_, path);
      continue;
    }
    if (!hasSuffix(path, ".app")) continue;

    std::string appPath = stringByAppendingPathComponent(*tmpDir_, path);
    auto plist = InfoPlistHelper::dictionaryWithContentsOfFile(appPath + "/Contents/Info.plist");
    std::optional<Json> identifier;
    if (plist && plist->contains("CFBundleIdentifier")) identifier = (*plist)["CFBundleIdentifier"];
    if (identifier && identifier->is_string() &&
        configFile_.entryForBundleIdentifier(identifier->get<std::string>()).shouldFixupBundleIdentifier()) {
      auto merged = InfoPlistHelper::dictionaryWithInfoPlistOfApp(appPath, true, false, &fixups);
      identifier = merged && merged->contains("CFBundleIdentifier")
                       ? std::optional<Json>((*merged)["CFBundleIdentifier"])
                       : std::nullopt;
    }

    if (identifier && identifier->is_string() && identifier->get<std::string>() == bundleIdentifier_) {
      auto minimumOS = InfoPlistHelper::getRealMinimumOSForApp(appPath, *plist);
      if (sources::ZRSUStandardVersionComparator::isSystemVersionNewerThanOurSystemVersion(minimumOS)) {
        const Json& newPlist = *plist;
        cc_log_error("Warning: dropping extracted update because of system requirements %@", newPlist);
        removeTmpDir();
        auto info = makeDictionaryOfVariables("caskName, bundleIdentifier, downloadURL, newPlist", caskName_,
                                              bundleIdentifier_, downloadURL_, newPlist);
        CGIInfoHelper::collectErrorEvent(kErrorInstallAppRequiresNewerOS, info);
        return installError(kErrorInstallAppRequiresNewerOS, info);
      }
      found.app = appPath;
      return std::nullopt;
    }
    cc_log("Warning: dropping extracted update app because of wrong bundle identifier %@ %@, maybe we need an override",
           bundleIdentifier_, identifier);
    droppedCandidates_.push_back(makeString("bid: %@=>%@", bundleIdentifier_, identifier));
  }
  return std::nullopt;
}

}  // namespace vantor::detail
