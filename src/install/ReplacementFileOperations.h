#pragma once
// The file operations that replacing an application bundle needs (see AppReplacement).
// ZRSUFileManager provides them with the rights of the user; a caller with other rights
// (the privileged tool) may provide its own, for instance with moves relative to folder
// descriptors, as long as each operation keeps the promise written here.
//
// Paths stand for file URLs. Every operation returns true on success; on failure it
// returns false and, when error is given, stores the first failure there.

#include <optional>
#include <string>
#include <vector>

#include "foundation/Error.h"

namespace vantor::install {

class ReplacementFileOperations {
 public:
  virtual ~ReplacementFileOperations() = default;

  // Whether something (a dangling symbolic link included) is at the path.
  virtual bool _itemExistsAtURL(const std::string& url) const = 0;

  // Moves one item to a destination that does not exist yet and is never replaced. On
  // failure the item is whole at one of the two places: at the source, or (when only
  // removing the source after a copy to another file system failed) at the destination.
  virtual bool moveItemAtURL(const std::string& source, const std::string& destination, Error* error) = 0;
  // Removes an item and everything below it.
  virtual bool removeItemAtURL(const std::string& url, Error* error) = 0;
  // A new empty folder on the same file system as directory (so moves between them are
  // renames), or a folder named after preferredName inside directory; nothing on failure.
  virtual std::optional<std::string> makeTemporaryDirectoryWithPreferredName(const std::string& preferredName,
                                                                             const std::string& directory,
                                                                             Error* error) = 0;

  // Makes the item and everything below it readable and stamps their access times.
  virtual bool updateAccessTimeOfItemAtRootURL(const std::string& root, Error* error) = 0;
  // Sets both times of one item to now.
  virtual bool updateModificationAndAccessTimeOfItemAtURL(const std::string& url, Error* error) = 0;
  // Removes the download quarantine from the item and everything below it.
  virtual bool releaseItemFromQuarantineAtRootURL(const std::string& root, Error* error) = 0;
  // Gives the item and everything below it the owner and group of the model item.
  virtual bool changeOwnerAndGroupOfItemAtRootURL(const std::string& root, const std::string& model,
                                                  Error* error) = 0;
  virtual bool setHiddenOfItemAtURL(const std::string& url, bool hidden, Error* error) = 0;
  // The item's tag names; empty when it has none or they cannot be read.
  virtual std::vector<std::string> tagNamesOfItemAtURL(const std::string& url) = 0;
  virtual bool setTagNamesOfItemAtURL(const std::string& url, const std::vector<std::string>& names,
                                      Error* error) = 0;
};

}  // namespace vantor::install
