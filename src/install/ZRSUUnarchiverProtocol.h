#pragma once
// The common interface of the three extractors. Each serves one unarchive() call: it
// writes into destinationFolder(archivePath) next to the archive, leaves that folder
// behind also after a failure (with whatever was written) and never removes the archive.

#include <optional>
#include <string>

#include "foundation/Error.h"

namespace vantor {

inline constexpr const char* kSUSparkleErrorDomain = "SUSparkleErrorDomain";
inline constexpr long kSUUnarchivingError = 3000;

class ZRSUUnarchiverProtocol {
 public:
  virtual ~ZRSUUnarchiverProtocol() = default;

  // Extracts synchronously (blocks until the tools have ended; never on the main thread).
  // Nothing on success, else an error of kSUUnarchivingError in kSUSparkleErrorDomain.
  [[nodiscard]] virtual std::optional<Error> unarchive() = 0;
  // "<class> <<archive path>>"
  virtual std::string description() const = 0;

  const std::string& archivePath() const { return archivePath_; }

  // The archive's folder joined with "<file name without last extension>_folder":
  // /tmp/x/App-2.1.zip -> /tmp/x/App-2.1_folder, Tool.tar.gz -> Tool.tar_folder.
  static std::string destinationFolder(const std::string& archivePath);

 protected:
  explicit ZRSUUnarchiverProtocol(std::string archivePath) : archivePath_(std::move(archivePath)) {}
  // The error of one failed extraction, with the message as its localized description;
  // the message is logged too.
  static Error extractionError(const std::string& message);

 private:
  std::string archivePath_;
};

}  // namespace vantor
