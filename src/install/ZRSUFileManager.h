#pragma once
// Careful, error-reporting operations on application bundles, with the rights of the
// user: a move that works across file systems, copy, recursive removal of the download
// quarantine, recursive owner and group matching, recursive time stamping and temporary
// folders next to a given location. Instances hold no state; make one per use.
//
// Paths stand for file URLs (an empty path is a URL without a path); a path longer than
// the system's file-name buffer (1024 bytes with its terminator) counts as one that
// cannot be represented. Missing, existing and unrepresentable items are reported in the
// Cocoa error domain (codes 4, 516, 258), failed system calls in the POSIX domain with
// their errno; every error carries a localized description naming the item.

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "foundation/Error.h"
#include "install/ReplacementFileOperations.h"

namespace vantor::install {

inline constexpr long kFileNoSuchFileError = 4;
inline constexpr long kFileReadNoPermissionError = 257;
inline constexpr long kFileReadInvalidFileNameError = 258;
inline constexpr long kFileReadUnknownError = 256;
inline constexpr long kFileWriteUnknownError = 512;
inline constexpr long kFileWriteNoPermissionError = 513;
inline constexpr long kFileWriteInvalidFileNameError = 514;
inline constexpr long kFileWriteFileExistsError = 516;
inline constexpr long kFileWriteOutOfSpaceError = 640;
inline constexpr long kFileWriteVolumeReadOnlyError = 642;

inline constexpr const char* kQuarantineAttributeName = "com.apple.quarantine";
inline constexpr int kXAttrNoFollow = 1;

class ZRSUFileManager : public ReplacementFileOperations {
 public:
  ZRSUFileManager() = default;

  // Whether the item's attributes can be read; a final symbolic link is not followed.
  bool _itemExistsAtURL(const std::string& url) const override;
  bool _itemExistsAtURL(const std::string& url, bool* isDirectory) const;
  // The size of the attribute's value, or -1 with *errorNumber (0 when the path cannot
  // be represented). options: kXAttrNoFollow or 0.
  long _getXAttr(const std::string& name, const std::string& file, int options, int* errorNumber = nullptr) const;
  int _removeXAttr(const std::string& name, const std::string& file, int options, int* errorNumber = nullptr) const;
  // The device that holds the item (final link not followed).
  std::optional<unsigned long long> _getVolumeID(const std::string& url) const;

  bool releaseItemFromQuarantineAtRootURL(const std::string& root, Error* error) override;
  // The destination must not exist; it receives the whole copy or nothing.
  bool copyItemAtURL(const std::string& source, const std::string& destination, Error* error);
  bool moveItemAtURL(const std::string& source, const std::string& destination, Error* error) override;
  bool _changeOwnerAndGroupOfItemAtURL(const std::string& url, unsigned ownerID, unsigned groupID, Error* error);
  // Only the root's owner and group decide: when they match the model's nothing changes.
  bool changeOwnerAndGroupOfItemAtRootURL(const std::string& root, const std::string& model, Error* error) override;
  // Adds read permission for everyone (and search or execute permission where the item is
  // a folder or already executable), sets the access time, keeps the modification time.
  bool _updateItemAtURL(const std::string& url, const std::timespec& accessTime, Error* error);
  bool updateAccessTimeOfItemAtRootURL(const std::string& root, Error* error) override;
  bool updateModificationAndAccessTimeOfItemAtURL(const std::string& url, Error* error) override;
  bool makeDirectoryAtURL(const std::string& url, Error* error);
  std::optional<std::string> makeTemporaryDirectoryWithPreferredName(const std::string& preferredName,
                                                                     const std::string& directory,
                                                                     Error* error) override;
  bool removeItemAtURL(const std::string& url, Error* error) override;

  // Linux has no hidden flag: succeeds for an existing item and changes nothing.
  bool setHiddenOfItemAtURL(const std::string& url, bool hidden, Error* error) override;
  std::vector<std::string> tagNamesOfItemAtURL(const std::string& url) override;
  bool setTagNamesOfItemAtURL(const std::string& url, const std::vector<std::string>& names, Error* error) override;
};

}  // namespace vantor::install
