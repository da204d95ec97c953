#include "install/ZRSUFileManager.h"

#include <cerrno>
#include <cstring>

#include "foundation/Format.h"
#include "foundation/StringHelpers.h"
#include "platform/ExtendedAttributes.h"
#include "platform/FileCopier.h"
#include "platform/FileItem.h"
#include "platform/FileSystem.h"
#include "platform/FileTags.h"
#include "vantor/BuildSettings.h"

namespace vantor::install {
namespace {

using platform::FileStatus;
using platform::FileSystem;

constexpr size_t kFileSystemRepresentationLength = 1024;

void setError(Error* error, Error value) {
  if (error != nullptr) *error = std::move(value);
}

Error cocoaError(long code, const std::string& description) {
  return Error(kCocoaErrorDomain, code, Json{{kLocalizedDescriptionKey, description}});
}

Error posixError(int errorNumber, const std::string& description) {
  return Error(kPOSIXErrorDomain, errorNumber, Json{{kLocalizedDescriptionKey, description}});
}

std::string name(const std::string& url) { return lastPathComponent(url); }

std::string parentOf(const std::string& url) {
  std::string parent = stringByDeletingLastPathComponent(url);
  return parent.empty() ? "." : parent;
}

bool representable(const std::string& url) {
  return !url.empty() && url.find('\0') == std::string::npos && url.size() < kFileSystemRepresentationLength;
}

// The platform file manager's errors: a Cocoa file code chosen by the errno, which is
// kept as the underlying error.
Error fileManagerError(int errorNumber, bool writing, const std::string& description, const std::string& path) {
  long code = writing ? kFileWriteUnknownError : kFileReadUnknownError;
  switch (errorNumber) {
    case ENOENT: code = kFileNoSuchFileError; break;
    case EEXIST:
    case ENOTEMPTY: code = writing ? kFileWriteFileExistsError : code; break;
    case EACCES:
    case EPERM: code = writing ? kFileWriteNoPermissionError : kFileReadNoPermissionError; break;
    case ENOSPC:
    case EDQUOT: code = writing ? kFileWriteOutOfSpaceError : code; break;
    case EROFS: code = writing ? kFileWriteVolumeReadOnlyError : code; break;
    case ENAMETOOLONG: code = writing ? kFileWriteInvalidFileNameError : kFileReadInvalidFileNameError; break;
    default: break;
  }
  return Error(kCocoaErrorDomain, code,
               Json{{kLocalizedDescriptionKey, makeString("%@: %@.", description, std::strerror(errorNumber))},
                    {"NSFilePath", path},
                    {"NSUnderlyingError", Json{{"domain", kPOSIXErrorDomain}, {"code", errorNumber}}}});
}

}  // namespace

bool ZRSUFileManager::_itemExistsAtURL(const std::string& url) const {
  return _itemExistsAtURL(url, nullptr);
}

bool ZRSUFileManager::_itemExistsAtURL(const std::string& url, bool* isDirectory) const {
  if (url.empty()) return false;
  FileStatus status;
  if (FileSystem::status(url, &status) != 0) return false;
  if (isDirectory != nullptr) *isDirectory = status.isDirectory();
  return true;
}

long ZRSUFileManager::_getXAttr(const std::string& attribute, const std::string& file, int options,
                                int* errorNumber) const {
  if (!representable(file)) {
    if (errorNumber != nullptr) *errorNumber = 0;
    return -1;
  }
  return platform::ExtendedAttributes::size(file, attribute, (options & kXAttrNoFollow) != 0, errorNumber);
}

int ZRSUFileManager::_removeXAttr(const std::string& attribute, const std::string& file, int options,
                                  int* errorNumber) const {
  if (!representable(file)) {
    if (errorNumber != nullptr) *errorNumber = 0;
    return -1;
  }
  int result = platform::ExtendedAttributes::remove(file, attribute, (options & kXAttrNoFollow) != 0);
  if (errorNumber != nullptr) *errorNumber = result;
  return result == 0 ? 0 : -1;
}

std::optional<unsigned long long> ZRSUFileManager::_getVolumeID(const std::string& url) const {
  if (!representable(url)) return std::nullopt;
  FileStatus status;
  if (FileSystem::status(url, &status) != 0) return std::nullopt;
  return status.device;
}

bool ZRSUFileManager::releaseItemFromQuarantineAtRootURL(const std::string& root, Error* error) {
  bool success = true;
  auto release = [&](const std::string& item) {
    if (_getXAttr(kQuarantineAttributeName, item, kXAttrNoFollow) < 0) return;
    int errorNumber = 0;
    if (_removeXAttr(kQuarantineAttributeName, item, kXAttrNoFollow, &errorNumber) < 0 && success) {
      success = false;
      setError(error, posixError(errorNumber, makeString("Failed to remove file quarantine on %@.", name(item))));
    }
  };
  release(root);
  bool isDirectory = false;
  if (_itemExistsAtURL(root, &isDirectory) && isDirectory) {
    FileSystem::enumerateTree(root, [&](const std::string& item, const FileStatus&) {
      release(item);
      return true;
    });
  }
  return success;
}

bool ZRSUFileManager::copyItemAtURL(const std::string& source, const std::string& destination, Error* error) {
  if (!_itemExistsAtURL(source)) {
    setError(error, cocoaError(kFileNoSuchFileError,
                               makeString("Source file to copy (%@) does not exist.", name(source))));
    return false;
  }
  std::string parent = parentOf(destination);
  if (!_itemExistsAtURL(parent)) {
    setError(error, cocoaError(kFileNoSuchFileError,
                               makeString("Destination parent directory to copy into (%@) does not exist.",
                                          name(parent))));
    return false;
  }
  if (_itemExistsAtURL(destination)) {
    setError(error, cocoaError(kFileWriteFileExistsError,
                               makeString("Destination file to copy to (%@) already exists.", name(destination))));
    return false;
  }
  // The source itself (a final link not followed) and the folder that receives the copy.
  for (const auto& [item, follow] : {std::pair{source, false}, std::pair{parent, true}}) {
    if (!representable(item)) {
      setError(error, cocoaError(kFileReadInvalidFileNameError,
                                 makeString("URL of the file (%@) cannot be represented as a file path", name(item))));
      return false;
    }
    FileStatus status;
    int errorNumber = FileSystem::status(item, &status, follow);
    if (errorNumber == 0 && follow && !status.isDirectory()) errorNumber = ENOTDIR;
    if (errorNumber != 0) {
      setError(error, posixError(errorNumber, makeString("Failed to create file system reference for %@", name(item))));
      return false;
    }
  }
  std::string failedPath;
  if (int errorNumber = platform::FileCopier::copyItem(source, destination, &failedPath); errorNumber != 0) {
    Error failure = posixError(errorNumber, makeString("Failed to copy file (%@)", name(source)));
    failure.userInfo["NSFilePath"] = failedPath;
    setError(error, std::move(failure));
    return false;
  }
  return true;
}

bool ZRSUFileManager::moveItemAtURL(const std::string& source, const std::string& destination, Error* error) {
  if (!_itemExistsAtURL(source)) {
    setError(error, cocoaError(kFileNoSuchFileError,
                               makeString("Source file to move (%@) does not exist.", name(source))));
    return false;
  }
  std::string parent = parentOf(destination);
  if (!_itemExistsAtURL(parent)) {
    setError(error, cocoaError(kFileNoSuchFileError,
                               makeString("Destination parent directory to move into (%@) does not exist.",
                                          name(parent))));
    return false;
  }
  if (_itemExistsAtURL(destination)) {
    setError(error, cocoaError(kFileWriteFileExistsError,
                               makeString("Destination file to move (%@) already exists.", name(destination))));
    return false;
  }
  auto copyAndRemove = [&] { return copyItemAtURL(source, destination, error) && removeItemAtURL(source, error); };
  auto sourceVolume = _getVolumeID(source);
  auto destinationVolume = _getVolumeID(parent);
  if (sourceVolume && destinationVolume && *sourceVolume != *destinationVolume) return copyAndRemove();
  int errorNumber = FileSystem::moveItem(source, destination);
  // Also across mounts of one device, or through a parent that links to another file system.
  if (errorNumber == EXDEV) return copyAndRemove();
  if (errorNumber != 0) {
    setError(error, fileManagerError(errorNumber, true,
                                     makeString("Could not move %@ to %@", name(source), parent), source));
    return false;
  }
  return true;
}

bool ZRSUFileManager::_changeOwnerAndGroupOfItemAtURL(const std::string& url, unsigned ownerID, unsigned groupID,
                                                      Error* error) {
  if (!representable(url)) {
    setError(error, cocoaError(kFileReadInvalidFileNameError,
                               makeString("File to change owner & group (%@) cannot be represented as a valid file name.",
                                          name(url))));
    return false;
  }
  int errorNumber = 0;
  auto item = platform::FileItem::open(url, &errorNumber);
  if (!item) {
    setError(error, posixError(errorNumber, makeString("Failed to open file descriptor to %@", name(url))));
    return false;
  }
  if (int e = item->changeOwner(ownerID, groupID); e != 0) {
    setError(error, posixError(e, makeString("Failed to change owner & group for %@ with owner ID %u and group ID %u.",
                                             name(url), ownerID, groupID)));
    return false;
  }
  return true;
}

bool ZRSUFileManager::changeOwnerAndGroupOfItemAtRootURL(const std::string& root, const std::string& model,
                                                         Error* error) {
  bool isDirectory = false;
  if (!_itemExistsAtURL(root, &isDirectory)) {
    setError(error, cocoaError(kFileNoSuchFileError,
                               makeString("Failed to change owner & group IDs because %@ does not exist.", name(root))));
    return false;
  }
  if (!_itemExistsAtURL(model)) {
    setError(error, cocoaError(kFileNoSuchFileError,
                               makeString("Failed to match owner & group IDs because %@ does not exist.", name(model))));
    return false;
  }
  FileStatus modelStatus, rootStatus;
  for (const auto& [item, status] : {std::pair{&model, &modelStatus}, std::pair{&root, &rootStatus}}) {
    if (int e = FileSystem::status(*item, status); e != 0) {
      setError(error, fileManagerError(e, false, makeString("Could not read the attributes of %@", name(*item)), *item));
      return false;
    }
  }
  if (rootStatus.owner == modelStatus.owner && rootStatus.group == modelStatus.group) return true;
  if (!_changeOwnerAndGroupOfItemAtURL(root, modelStatus.owner, modelStatus.group, error)) return false;
  if (!isDirectory) return true;
  bool success = true;
  FileSystem::enumerateTree(root, [&](const std::string& item, const FileStatus&) {
    success = _changeOwnerAndGroupOfItemAtURL(item, modelStatus.owner, modelStatus.group, error);
    return success;
  });
  return success;
}

bool ZRSUFileManager::_updateItemAtURL(const std::string& url, const std::timespec& accessTime, Error* error) {
  if (!representable(url)) {
    setError(error, cocoaError(kFileReadInvalidFileNameError,
                               makeString("File to update modification & access time (%@) cannot be represented as a "
                                          "valid file name.",
                                          name(url))));
    return false;
  }
  int errorNumber = 0;
  auto item = platform::FileItem::open(url, &errorNumber);
  if (!item) {
    setError(error, posixError(errorNumber, makeString("Failed to open file descriptor to %@", name(url))));
    return false;
  }
  if (int e = item->refreshStatus(); e != 0) {
    setError(error, posixError(e, makeString("Failed to stat file descriptor to %@", name(url))));
    return false;
  }
  // "+r+X": readable by everyone; searchable or executable by everyone where it is a
  // folder or executable by someone already. Not checked, as a best effort.
  unsigned mode = item->status().mode | 0444;
  if (item->status().isDirectory() || (mode & 0111) != 0) mode |= 0111;
  (void)item->changeMode(mode);
  if (int e = item->setAccessTime(accessTime); e != 0) {
    setError(error, posixError(e, makeString("Failed to update modification & access time for %@", name(url))));
    return false;
  }
  return true;
}

bool ZRSUFileManager::updateAccessTimeOfItemAtRootURL(const std::string& root, Error* error) {
  bool isDirectory = false;
  if (!_itemExistsAtURL(root, &isDirectory)) {
    setError(error, cocoaError(kFileNoSuchFileError,
                               makeString("Failed to update modification & access time recursively because %@ does "
                                          "not exist.",
                                          name(root))));
    return false;
  }
  std::timespec now{};
  if (int e = FileSystem::currentTime(&now); e != 0) {
    setError(error, posixError(e, "Failed to update modification & access time recursively because gettimeofday "
                                  "failed."));
    return false;
  }
  if (!_updateItemAtURL(root, now, error)) return false;
  if (!isDirectory) return true;
  bool success = true;
  FileSystem::enumerateTree(root, [&](const std::string& item, const FileStatus&) {
    success = _updateItemAtURL(item, now, error);
    return success;
  });
  return success;
}

bool ZRSUFileManager::updateModificationAndAccessTimeOfItemAtURL(const std::string& url, Error* error) {
  if (!_itemExistsAtURL(url)) {
    setError(error, cocoaError(kFileNoSuchFileError,
                               makeString("Failed to update modification & access time because %@ does not exist.",
                                          name(url))));
    return false;
  }
  if (!representable(url)) {
    setError(error, cocoaError(kFileReadInvalidFileNameError,
                               makeString("File to update modification & access time (%@) cannot be represented as a "
                                          "valid file name.",
                                          name(url))));
    return false;
  }
  int errorNumber = 0;
  auto item = platform::FileItem::open(url, &errorNumber);
  if (!item) {
    setError(error, posixError(errorNumber, makeString("Failed to open file descriptor to %@", name(url))));
    return false;
  }
  if (int e = item->touch(); e != 0) {
    setError(error, posixError(e, makeString("Failed to update modification & access time for %@", name(url))));
    return false;
  }
  return true;
}

bool ZRSUFileManager::makeDirectoryAtURL(const std::string& url, Error* error) {
  if (_itemExistsAtURL(url)) {
    setError(error, cocoaError(kFileWriteFileExistsError,
                               makeString("Failed to create directory because file %@ already exists.", name(url))));
    return false;
  }
  // The parent may be a link to a folder: creating the folder goes through it anyway.
  std::string parent = parentOf(url);
  FileStatus parentStatus;
  if (FileSystem::status(parent, &parentStatus, true) != 0 || !parentStatus.isDirectory()) {
    setError(error, cocoaError(kFileNoSuchFileError,
                               makeString("Failed to create directory because parent directory %@ does not exist.",
                                          name(parent))));
    return false;
  }
  if (int e = FileSystem::makeDirectory(url); e != 0) {
    setError(error, fileManagerError(e, true, makeString("Could not create the folder %@", name(url)), url));
    return false;
  }
  return true;
}

std::optional<std::string> ZRSUFileManager::makeTemporaryDirectoryWithPreferredName(const std::string& preferredName,
                                                                                    const std::string& directory,
                                                                                    Error* error) {
  if (auto folder = FileSystem::makeItemReplacementDirectory(directory, build::kBundleIdentifier, nullptr)) return folder;
  std::string candidate = stringByAppendingPathComponent(directory, preferredName);
  for (unsigned long tag = 2; _itemExistsAtURL(candidate) && tag <= 9999; ++tag)
    candidate = stringByAppendingPathComponent(directory, makeString("%@ (%lu)", preferredName, tag));
  if (!makeDirectoryAtURL(candidate, error)) return std::nullopt;
  return candidate;
}

bool ZRSUFileManager::removeItemAtURL(const std::string& url, Error* error) {
  if (!_itemExistsAtURL(url)) {
    setError(error, cocoaError(kFileNoSuchFileError,
                               makeString("Failed to remove file %@ because it does not exist.", name(url))));
    return false;
  }
  if (int e = FileSystem::removeItem(url); e != 0) {
    setError(error, fileManagerError(e, true, makeString("Could not remove %@", name(url)), url));
    return false;
  }
  return true;
}

bool ZRSUFileManager::setHiddenOfItemAtURL(const std::string& url, bool hidden, Error* error) {
  if (int e = FileSystem::setHidden(url, hidden); e != 0) {
    setError(error, fileManagerError(e, true, makeString("Could not change the visibility of %@", name(url)), url));
    return false;
  }
  return true;
}

std::vector<std::string> ZRSUFileManager::tagNamesOfItemAtURL(const std::string& url) {
  return platform::FileTags::tagNames(url, nullptr).value_or(std::vector<std::string>());
}

bool ZRSUFileManager::setTagNamesOfItemAtURL(const std::string& url, const std::vector<std::string>& names,
                                             Error* error) {
  if (int e = platform::FileTags::setTagNames(url, names); e != 0) {
    setError(error, fileManagerError(e, true, makeString("Could not set the tags of %@", name(url)), url));
    return false;
  }
  return true;
}

}  // namespace vantor::install
