#pragma once
// Zip archives: the system's archive copier runs on the archive's path. Any output of
// the copier, even a warning after a successful run, fails the extraction.

#include <optional>
#include <string>
#include <vector>

#include "install/ZRSUUnarchiverProtocol.h"

namespace vantor {

class ZRSUUnpipedUnarchiver : public ZRSUUnarchiverProtocol {
 public:
  static bool canUnarchivePath(const std::string& path);
  static bool unsafeIfArchiveIsNotValidated() { return false; }
  static std::optional<std::vector<std::string>> commandAndArgumentsConformingToTypeOfPath(const std::string& path);

  explicit ZRSUUnpipedUnarchiver(std::string archivePath) : ZRSUUnarchiverProtocol(std::move(archivePath)) {}

  [[nodiscard]] std::optional<Error> unarchive() override;
  std::string description() const override;

  // Runs command with the arguments, the archive path and the destination folder.
  [[nodiscard]] std::optional<Error> extractArchivePipingDataToCommand(const std::string& command,
                                                                       const std::vector<std::string>& arguments);
};

}  // namespace vantor
