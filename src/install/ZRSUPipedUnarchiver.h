#pragma once
// The tar family: the archive's bytes are piped, 256 KiB at a time, into the system's
// tar, which extracts into the destination folder.

#include <optional>
#include <string>
#include <vector>

#include "install/ZRSUUnarchiverProtocol.h"

namespace vantor {

class ZRSUPipedUnarchiver : public ZRSUUnarchiverProtocol {
 public:
  // Whether the file name ends in a suffix of the table (case-sensitive).
  static bool canUnarchivePath(const std::string& path);
  static bool unsafeIfArchiveIsNotValidated() { return false; }
  // The table row for the path: the command, then its arguments; nothing for no row.
  static std::optional<std::vector<std::string>> commandAndArgumentsConformingToTypeOfPath(const std::string& path);

  explicit ZRSUPipedUnarchiver(std::string archivePath) : ZRSUUnarchiverProtocol(std::move(archivePath)) {}

  [[nodiscard]] std::optional<Error> unarchive() override;
  std::string description() const override;

  // Runs command with the arguments and the destination folder, feeding it the archive
  // on standard input.
  [[nodiscard]] std::optional<Error> extractArchivePipingDataToCommand(const std::string& command,
                                                                       const std::vector<std::string>& arguments);
};

}  // namespace vantor
