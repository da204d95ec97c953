#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <fts.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/Environment.h"

namespace vantor::platform {
namespace {

FileStatus::Type typeOf(mode_t mode) {
  switch (mode & S_IFMT) {
    case S_IFREG: return FileStatus::Type::Regular;
    case S_IFDIR: return FileStatus::Type::Directory;
    case S_IFLNK: return FileStatus::Type::Symlink;
    case S_IFIFO: return FileStatus::Type::Fifo;
    case S_IFSOCK: return FileStatus::Type::Socket;
    case S_IFCHR: return FileStatus::Type::CharacterDevice;
    case S_IFBLK: return FileStatus::Type::BlockDevice;
    default: return FileStatus::Type::Unknown;
  }
}

FileStatus fromStat(const struct stat& st) {
  FileStatus status;
  status.type = typeOf(st.st_mode);
  status.mode = st.st_mode & 07777;
  status.owner = st.st_uid;
  status.group = st.st_gid;
  status.device = st.st_dev;
  status.inode = st.st_ino;
  status.size = st.st_size;
  status.accessTime = st.st_atim;
  status.modificationTime = st.st_mtim;
  return status;
}

}  // namespace

int FileSystem::listDirectory(int directoryFd, std::vector<std::string>* names) {
  int copy = ::dup(directoryFd);
  if (copy < 0) return errno;
  DIR* dir = ::fdopendir(copy);
  if (dir == nullptr) {
    int e = errno;
    ::close(copy);
    return e;
  }
  ::rewinddir(dir);
  errno = 0;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names->push_back(std::move(name));
    errno = 0;
  }
  int e = errno;
  ::closedir(dir);
  return e;
}

namespace {

bool ownedByCallerWithoutPrivilege(const struct stat& st) {
  uid_t me = ::geteuid();
  return me != 0 && st.st_uid == me;
}

int removeDirectoryContents(int parentFd, const std::string& name, const struct stat& st) {
  UniqueFd dir(::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!dir.valid() && errno == EACCES && ownedByCallerWithoutPrivilege(st)) {
    ::fchmodat(parentFd, name.c_str(), (st.st_mode & 07777) | S_IRWXU, 0);
    dir.reset(::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  if (!dir.valid()) return errno;
  if (ownedByCallerWithoutPrivilege(st) && (st.st_mode & (S_IWUSR | S_IXUSR)) != (S_IWUSR | S_IXUSR))
    ::fchmod(dir.get(), (st.st_mode & 07777) | S_IRWXU);
  std::vector<std::string> names;
  int first = FileSystem::listDirectory(dir.get(), &names);
  for (const auto& entry : names) {
    int result = FileSystem::removeItemAt(dir.get(), entry);
    if (result != 0 && first == 0) first = result;
  }
  return first;
}

}  // namespace

std::pair<std::string, std::string> FileSystem::splitPath(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  size_t slash = p.rfind('/');
  if (slash == std::string::npos) return {".", p};
  if (slash == 0) return {"/", p.substr(1)};
  return {p.substr(0, slash), p.substr(slash + 1)};
}

UniqueFd FileSystem::openParentDirectory(const std::string& path, std::string* leaf, int* errorNumber) {
  auto [parent, name] = splitPath(path);
  if (name.empty() || name == "." || name == "..") {
    if (errorNumber != nullptr) *errorNumber = EINVAL;
    return UniqueFd();
  }
  UniqueFd fd(::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) {
    if (errorNumber != nullptr) *errorNumber = errno;
    return fd;
  }
  if (leaf != nullptr) *leaf = name;
  if (errorNumber != nullptr) *errorNumber = 0;
  return fd;
}

int FileSystem::status(const std::string& path, FileStatus* out, bool followLastLink) {
  struct stat st {};
  if (::fstatat(AT_FDCWD, path.c_str(), &st, followLastLink ? 0 : AT_SYMLINK_NOFOLLOW) != 0) return errno;
  if (out != nullptr) *out = fromStat(st);
  return 0;
}

int FileSystem::statusAt(int directoryFd, const std::string& name, FileStatus* out) {
  struct stat st {};
  int flags = AT_SYMLINK_NOFOLLOW | (name.empty() ? AT_EMPTY_PATH : 0);
  if (::fstatat(directoryFd, name.c_str(), &st, flags) != 0) return errno;
  if (out != nullptr) *out = fromStat(st);
  return 0;
}

int FileSystem::moveItem(const std::string& source, const std::string& destination) {
  return moveItemAt(AT_FDCWD, source, AT_FDCWD, destination);
}

int FileSystem::moveItemAt(int sourceDirectoryFd, const std::string& sourceName, int destinationDirectoryFd,
                           const std::string& destinationName) {
  if (::renameat2(sourceDirectoryFd, sourceName.c_str(), destinationDirectoryFd, destinationName.c_str(),
                  RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without the no-replace flag: check, then rename. A plain rename
  // would silently replace an empty folder.
  struct stat st {};
  if (::fstatat(destinationDirectoryFd, destinationName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
  if (::renameat(sourceDirectoryFd, sourceName.c_str(), destinationDirectoryFd, destinationName.c_str()) == 0)
    return 0;
  return errno;
}

int FileSystem::makeDirectory(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
}

int FileSystem::removeItem(const std::string& path) {
  std::string leaf;
  int error = 0;
  UniqueFd parent = openParentDirectory(path, &leaf, &error);
  if (!parent.valid()) return error;
  return removeItemAt(parent.get(), leaf);
}

int FileSystem::removeItemAt(int directoryFd, const std::string& name) {
  struct stat st {};
  if (::fstatat(directoryFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) return ::unlinkat(directoryFd, name.c_str(), 0) == 0 ? 0 : errno;
  int first = removeDirectoryContents(directoryFd, name, st);
  if (::unlinkat(directoryFd, name.c_str(), AT_REMOVEDIR) == 0) return 0;
  return first != 0 ? first : errno;
}

void FileSystem::enumerateTree(const std::string& root,
                               const std::function<bool(const std::string&, const FileStatus&)>& visit) {
  char* roots[] = {const_cast<char*>(root.c_str()), nullptr};
  FTS* fts = ::fts_open(roots, FTS_PHYSICAL | FTS_NOCHDIR, nullptr);
  if (fts == nullptr) return;
  while (FTSENT* entry = ::fts_read(fts)) {
    if (entry->fts_level == 0) continue;
    switch (entry->fts_info) {
      case FTS_D:
      case FTS_DNR:
      case FTS_F:
      case FTS_SL:
      case FTS_SLNONE:
      case FTS_DEFAULT:
        if (!visit(entry->fts_path, fromStat(*entry->fts_statp))) {
          ::fts_close(fts);
          return;
        }
        break;
      default:  // after a folder's contents, or an item that vanished meanwhile
        break;
    }
  }
  ::fts_close(fts);
}

bool FileSystem::onSameMount(const std::string& a, const std::string& b) {
  struct statx sa {}, sb {};
  if (::statx(AT_FDCWD, a.c_str(), 0, STATX_BASIC_STATS | STATX_MNT_ID, &sa) != 0) return false;
  if (::statx(AT_FDCWD, b.c_str(), 0, STATX_BASIC_STATS | STATX_MNT_ID, &sb) != 0) return false;
  if (sa.stx_dev_major != sb.stx_dev_major || sa.stx_dev_minor != sb.stx_dev_minor) return false;
  if ((sa.stx_mask & STATX_MNT_ID) && (sb.stx_mask & STATX_MNT_ID)) return sa.stx_mnt_id == sb.stx_mnt_id;
  return true;
}

std::optional<std::string> FileSystem::makeItemReplacementDirectory(const std::string& directory,
                                                                    const std::string& namePrefix,
                                                                    int* errorNumber) {
  std::string temporary = temporaryDirectory();
  if (!onSameMount(directory, temporary)) {
    if (errorNumber != nullptr) *errorNumber = EXDEV;
    return std::nullopt;
  }
  std::string pattern = temporary + "/" + namePrefix + ".XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    if (errorNumber != nullptr) *errorNumber = errno;
    return std::nullopt;
  }
  if (errorNumber != nullptr) *errorNumber = 0;
  return pattern;
}

int FileSystem::setHidden(const std::string& path, bool) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? 0 : errno;
}

int FileSystem::currentTime(std::timespec* now) {
  return ::clock_gettime(CLOCK_REALTIME, now) == 0 ? 0 : errno;
}

int FileSystem::syncFileSystem(int fd) {
  return ::syncfs(fd) == 0 ? 0 : errno;
}

bool FileSystem::isReadable(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

}  // namespace vantor::platform
