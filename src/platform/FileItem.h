#pragma once
// One item opened without following a final symbolic link, so that its owner, mode and
// times change in place and never those of a link's target. Regular files and folders
// are opened for reading (the caller needs read permission, as for any open); a symbolic
// link is held as the link itself. Special files (FIFOs, sockets, devices) are refused
// with EOPNOTSUPP: opening one could block or act on a device. Results are errno values.

#include <ctime>
#include <memory>
#include <string>

#include "platform/FileSystem.h"
#include "platform/UniqueFd.h"

namespace vantor::platform {

class FileItem {
 public:
  static std::unique_ptr<FileItem> open(const std::string& path, int* errorNumber);
  // The item called name in an open folder, found through that descriptor only.
  static std::unique_ptr<FileItem> openAt(int directoryFd, const std::string& name, int* errorNumber);

  // The item's descriptor for reading (a folder can be listed and entered through it);
  // -1 for a symbolic link.
  int descriptor() const { return open_.get(); }

  // The status read when the item was opened, or by the last refreshStatus.
  const FileStatus& status() const { return status_; }
  int refreshStatus();

  int changeOwner(unsigned owner, unsigned group);
  // A symbolic link has no mode of its own on Linux: succeeds without a change.
  int changeMode(unsigned mode);
  // Sets the access time and keeps the modification time as it is.
  int setAccessTime(const std::timespec& accessTime);
  int setTimes(const std::timespec& accessTime, const std::timespec& modificationTime);
  // Both times to the current time.
  int touch();
  // Removes the extended attribute (its name as the system stores it); 0 when the item
  // has none or is a symbolic link.
  int removeExtendedAttribute(const std::string& systemName);

 private:
  FileItem() = default;
  int openItem(int* errorNumber);
  int applyTimes(const std::timespec times[2]);

  UniqueFd parent_;   // the folder holding the item (O_PATH)
  std::string name_;  // the item's name in it
  UniqueFd path_;     // the item itself (O_PATH, final link not followed)
  UniqueFd open_;     // read-only descriptor of a regular file or folder
  FileStatus status_;
};

}  // namespace vantor::platform
