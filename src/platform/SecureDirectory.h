#pragma once
// Folders reached by descriptor, for a process with more rights than the user whose
// files it handles. A path is opened once, component by component from "/", never
// following a symbolic link; everything after that goes through the descriptors, so a
// component renamed or swapped for a link later cannot redirect what happens. Results
// are errno values, as in FileSystem.h.

#include <functional>
#include <string>
#include <vector>

#include "platform/FileItem.h"
#include "platform/FileSystem.h"
#include "platform/UniqueFd.h"

namespace vantor::platform {

class SecureDirectory {
 public:
  // Opens the folder at an absolute path (readable descriptor). ELOOP when a component
  // is a symbolic link, ENOTDIR when one is not a folder, EINVAL for a relative path or
  // one with "." or ".." components. statuses (when given) receives the status of "/"
  // and of every component in order, as far as the walk got.
  static UniqueFd openPath(const std::string& absolutePath, std::vector<FileStatus>* statuses, int* errorNumber);

  // The folder called name in an open folder; ELOOP for a link, ENOTDIR for another item.
  static UniqueFd openAt(int directoryFd, const std::string& name, FileStatus* status, int* errorNumber);

  // A new folder with exactly this mode (the umask does not apply), opened; the status
  // is read through the new descriptor and checked against what was created.
  static UniqueFd makeDirectoryAt(int directoryFd, const std::string& name, unsigned mode, FileStatus* status,
                                  int* errorNumber);

  // Calls visit for the item called name and everything below it, parents before their
  // contents, each opened through the descriptor of its folder (FileItem::openAt). The
  // first non-zero result of visit, or errno of a failed open or listing, stops the walk
  // and is returned.
  static int walkTreeAt(int directoryFd, const std::string& name, const std::function<int(FileItem&)>& visit);

  // Removes everything inside the open folder, then the entry name of parentFd if it is
  // still that folder (an entry swapped meanwhile stays).
  static int removeDirectory(int parentFd, const std::string& name, int directoryFd);
};

}  // namespace vantor::platform
