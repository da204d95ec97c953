#pragma once
// Copies one item, and for a folder everything below it, to a destination that must not
// exist yet, keeping contents, permission bits, extended attributes, symbolic links (as
// links, whatever they point to) and access and modification times.
//
// The copy is built under a hidden name next to the destination, written through to the
// device, and renamed into place only when whole: the destination holds either nothing
// or the complete copy, and a failed copy leaves nothing behind. The copy belongs to the
// caller; set-user-ID and set-group-ID bits and file capabilities are kept only where
// the owner (group) stays the same, so that a copy made with privileges never grants
// more than the original did. Special files (FIFOs, sockets, devices) are refused with
// EOPNOTSUPP, a folder copied into itself with EINVAL. Attributes that the destination's file system cannot keep are left out.

#include <string>

namespace vantor::platform {

class FileCopier {
 public:
  // 0 or the errno of the first failure; *failedPath names the item it concerned.
  static int copyItem(const std::string& source, const std::string& destination, std::string* failedPath = nullptr);
  // The same between two open folders, found through their descriptors only; the paths
  // (when given) name the items in *failedPath.
  static int copyItemAt(int sourceDirectoryFd, const std::string& sourceName, int destinationDirectoryFd,
                        const std::string& destinationName, std::string* failedPath = nullptr,
                        const std::string& sourcePath = {}, const std::string& destinationPath = {});
};

}  // namespace vantor::platform
