#pragma once
// One install attempt: from the download URL (the feed's, or the cask file's) to an
// installed app, a handed-off installer or an install error. Lives for one run on one
// background thread; every value it reports under a name keeps that name here.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog/ConfigFile.h"
#include "foundation/Bytes.h"
#include "foundation/Error.h"
#include "install/AbortAppInfos.h"

namespace vantor::detail {

class InstallAttempt {
 public:
  InstallAttempt(const std::string& bundleIdentifier, const ConfigFile& configFile,
                 const std::optional<std::string>& sparkleDownloadURL, bool useSparkleURL, std::string directory,
                 std::optional<std::string>* finalPath, std::shared_ptr<AbortAppInfos> abortAppInfos);

  [[nodiscard]] std::optional<Error> run();

 private:
  struct Found {
    std::optional<std::string> app;        // the accepted app's path
    std::optional<std::string> installer;  // the first installer candidate's path
  };

  std::optional<Error> readCaskfile();
  std::optional<Error> settleDownloadURL();
  std::optional<Error> download();
  std::optional<Error> storeDownload();
  void guessFileType();
  std::optional<Error> extractionFailure(const std::optional<Error>& unarchiveError);
  void extractNestedArchives(std::vector<std::string>& contents);
  std::optional<Error> searchCandidates(const std::vector<std::string>& contents, Found& found);
  std::optional<Error> handOffInstaller(const std::string& candidate);
  std::optional<Error> install(const std::string& appPath);
  std::optional<Error> installAsUser(const std::string& appPath, const std::string& fakeAppPath,
                                     const std::string& destination);
  std::optional<Error> installPrivileged(const std::string& appPath, const std::string& fakeAppPath,
                                         const std::string& destination);

  bool isAborted() const;
  void removeTmpDir();
  Json downloadedFileDataValue() const;
  std::string tmpFilePathSizeString() const;
  static Error installError(long code, const std::optional<Json>& userInfo = std::nullopt);

  const std::string& bundleIdentifier_;  // the caller's object: the abort list tests its identity
  const ConfigFile& configFile_;
  ConfigFileEntry entry_;
  std::optional<std::string> sparkleDownloadURL_;
  bool useSparkleURL_;
  std::string directory_;
  std::optional<std::string>* finalPath_;
  std::shared_ptr<AbortAppInfos> abortAppInfos_;

  std::optional<std::string> caskName_;
  std::optional<std::string> downloadURL_;
  std::optional<std::string> caskfile_;
  std::optional<std::string> caskSHA256_;
  bool weAreDoingCaskRetry_ = false;
  Bytes downloadedFileData_;
  std::optional<std::string> tmpDir_;
  std::string tmpFilePath_;
  bool writeSucc_ = false;
  std::vector<std::string> droppedCandidates_;
};

}  // namespace vantor::detail
