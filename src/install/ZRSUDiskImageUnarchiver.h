#pragma once
// Disk images: attached with the disk-image tool at a fresh mount point, their top-level
// items copied into the destination folder (all but ".Spotlight-V100" and unreadable
// ones), then detached by force, whatever happened while copying. A failure before the
// mount is reported without detaching; the tool's "expected   CRC32" (a damaged image)
// becomes the text "err1crc".

#include <optional>
#include <string>

#include "install/ZRSUUnarchiverProtocol.h"

namespace vantor {

class ZRSUDiskImageUnarchiver : public ZRSUUnarchiverProtocol {
 public:
  // Whether the path's extension is exactly "dmg".
  static bool canUnarchivePath(const std::string& path);
  static bool unsafeIfArchiveIsNotValidated() { return false; }

  ZRSUDiskImageUnarchiver(std::string archivePath, std::optional<std::string> decryptionPassword)
      : ZRSUUnarchiverProtocol(std::move(archivePath)), decryptionPassword_(std::move(decryptionPassword)) {}

  const std::optional<std::string>& decryptionPassword() const { return decryptionPassword_; }

  [[nodiscard]] std::optional<Error> unarchive() override;
  std::string description() const override;

  [[nodiscard]] std::optional<Error> extractDMG();

  // What to detach after a successful attach: the mount point, or for an APFS volume the
  // whole disk named on the tool's "GUID_partition_scheme" line (the last such line).
  static std::string detachTarget(const std::string& attachOutput, const std::string& mountPoint);

  // The integer user default that makes the next n - 1 extractions log the tool's
  // output as it arrives.
  inline static const std::string kLiveOutputDefault = "debugExtractDMGsWithLiveOutout";

 private:
  std::optional<std::string> decryptionPassword_;
};

}  // namespace vantor
