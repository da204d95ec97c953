#pragma once
// File-system primitives for moving application bundles safely. Nothing here follows a
// final symbolic link, a move never replaces an existing item (not even an empty
// folder), and results are errno values (0 on success) so that callers word their own
// errors. Folders above the final component are resolved as the system resolves paths.

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/UniqueFd.h"

namespace vantor::platform {

struct FileStatus {
  enum class Type { Regular, Directory, Symlink, Fifo, Socket, CharacterDevice, BlockDevice, Unknown };
  Type type = Type::Unknown;
  unsigned mode = 0;  // permission, set-id and sticky bits (07777)
  unsigned owner = 0;
  unsigned group = 0;
  unsigned long long device = 0;
  unsigned long long inode = 0;
  long long size = 0;
  std::timespec accessTime{};
  std::timespec modificationTime{};

  bool isDirectory() const { return type == Type::Directory; }
  bool isSymlink() const { return type == Type::Symlink; }
  // Regular files, folders and symbolic links; everything else is a special file.
  bool isOrdinary() const { return type == Type::Regular || type == Type::Directory || type == Type::Symlink; }
};

class FileSystem {
 public:
  // The folder that holds path and the final component ("." and the path when it has no
  // slash). Trailing slashes are ignored.
  static std::pair<std::string, std::string> splitPath(const std::string& path);
  // The folder holding path, opened as a directory handle (O_PATH), and its final
  // component in *leaf. Fails with EINVAL for "/" or an empty path.
  static UniqueFd openParentDirectory(const std::string& path, std::string* leaf, int* errorNumber);

  // Every name in an open folder (not opened with O_PATH) except "." and "..".
  static int listDirectory(int directoryFd, std::vector<std::string>* names);

  // lstat, or stat when followLastLink.
  static int status(const std::string& path, FileStatus* out, bool followLastLink = false);
  // The item name in the folder; an empty name means the descriptor's own item.
  static int statusAt(int directoryFd, const std::string& name, FileStatus* out);

  // Renames source to destination; EEXIST when destination exists, EXDEV when the two
  // lie on different mounts.
  static int moveItem(const std::string& source, const std::string& destination);
  static int moveItemAt(int sourceDirectoryFd, const std::string& sourceName, int destinationDirectoryFd,
                        const std::string& destinationName);

  // One folder (mode 0777 less the umask) whose parent exists.
  static int makeDirectory(const std::string& path);

  // Removes the item and, for a folder, everything below it, never following a link.
  // A folder of the caller's own that refuses removal of its entries for want of write
  // or search permission is given that permission first. Removal goes on after a
  // failure; the first errno is returned.
  static int removeItem(const std::string& path);
  static int removeItemAt(int directoryFd, const std::string& name);

  // Calls visit for every item below root (not root itself), parents before their
  // contents, without following symbolic links. A folder that cannot be read is
  // reported but not entered. visit returns false to stop the walk.
  static void enumerateTree(const std::string& root,
                            const std::function<bool(const std::string& path, const FileStatus& status)>& visit);

  // A new private folder on the same mount as directory (so items move between the two
  // by renaming), outside it: inside the user's temporary folder when that shares the
  // mount. Nothing (errno EXDEV) when no such place is known.
  static std::optional<std::string> makeItemReplacementDirectory(const std::string& directory,
                                                                 const std::string& namePrefix, int* errorNumber);

  // Whether two existing items lie on one mount (the device alone does not tell bind
  // mounts apart, and renames fail between those too).
  static bool onSameMount(const std::string& a, const std::string& b);

  // Linux keeps no hidden flag (a leading dot hides): succeeds when the item exists.
  static int setHidden(const std::string& path, bool hidden);

  static int currentTime(std::timespec* now);

  // Whether this process may read the item (links followed).
  static bool isReadable(const std::string& path);

  // Writes everything cached for the file system holding path to its device.
  static int syncFileSystem(int fd);
};

}  // namespace vantor::platform
