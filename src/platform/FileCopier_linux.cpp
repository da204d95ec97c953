#include "platform/FileCopier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/UniqueFd.h"

namespace vantor::platform {
namespace {

constexpr size_t kBufferSize = 1 << 17;

struct Copy {
  uid_t caller = ::geteuid();
  std::string failedPath;
  int failure(int errorNumber, const std::string& path) {
    failedPath = path;
    return errorNumber;
  }
};

bool sameItem(int fd, const struct stat& expected) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && st.st_ino == expected.st_ino && st.st_dev == expected.st_dev &&
         (st.st_mode & S_IFMT) == (expected.st_mode & S_IFMT);
}

int copyData(int in, int out) {
  bool inKernel = true;
  std::vector<char> buffer;
  for (;;) {
    if (inKernel) {
      ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t{1} << 30, 0);
      if (n > 0) continue;
      if (n == 0) return 0;
      if (errno == EINTR) continue;
      if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF)
        return errno;
      inKernel = false;  // offsets stay consistent, so plain copying picks up where it stopped
      buffer.resize(kBufferSize);
    }
    ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      done += w;
    }
  }
}

bool isUserAttribute(const std::string& name) { return name.rfind("user.", 0) == 0; }

int copyAttributes(int in, int out, const struct stat& source, const Copy& copy) {
  std::vector<std::string> names;
  for (int attempt = 0;; ++attempt) {
    ssize_t n = ::flistxattr(in, nullptr, 0);
    if (n < 0) return errno == ENOTSUP ? 0 : errno;
    std::string list(static_cast<size_t>(n), '\0');
    n = ::flistxattr(in, list.data(), list.size());
    if (n < 0) {
      if (errno == ERANGE && attempt < 3) continue;
      return errno;
    }
    for (size_t start = 0; start < static_cast<size_t>(n);) {
      size_t end = list.find('\0', start);
      if (end == std::string::npos) end = static_cast<size_t>(n);
      if (end > start) names.push_back(list.substr(start, end - start));
      start = end + 1;
    }
    break;
  }
  for (const auto& name : names) {
    if (name == "security.capability" && source.st_uid != copy.caller) continue;
    std::vector<char> value;
    ssize_t n = -1;
    for (int attempt = 0; attempt < 4; ++attempt) {
      n = ::fgetxattr(in, name.c_str(), nullptr, 0);
      if (n < 0) break;
      value.resize(static_cast<size_t>(n));
      n = ::fgetxattr(in, name.c_str(), value.data(), value.size());
      if (n >= 0 || errno != ERANGE) break;
    }
    if (n < 0) {
      if (errno == ENODATA) continue;  // removed meanwhile
      return errno;
    }
    if (::fsetxattr(out, name.c_str(), value.data(), static_cast<size_t>(n), 0) == 0) continue;
    int e = errno;
    if (e == ENOTSUP) continue;  // the destination's file system keeps no such attribute
    if ((e == EPERM || e == EACCES) && !isUserAttribute(name)) continue;  // a privileged namespace
    return e;
  }
  return 0;
}

// The source's mode, less the set-ID bits that the copy's new owner or group would
// turn into rights the original never gave.
mode_t modeForCopy(int out, const struct stat& source, const Copy& copy) {
  mode_t mode = source.st_mode & 07777;
  struct stat st {};
  if (::fstat(out, &st) != 0) return mode & ~static_cast<mode_t>(S_ISUID | S_ISGID);
  if (source.st_uid != copy.caller || st.st_uid != source.st_uid) mode &= ~static_cast<mode_t>(S_ISUID);
  if (st.st_gid != source.st_gid) mode &= ~static_cast<mode_t>(S_ISGID);
  return mode;
}

int finishItem(int in, int out, const struct stat& source, const Copy& copy) {
  if (int e = copyAttributes(in, out, source, copy); e != 0) return e;
  if (::fchmod(out, modeForCopy(out, source, copy)) != 0) return errno;
  std::timespec times[2] = {source.st_atim, source.st_mtim};
  if (::futimens(out, times) != 0) return errno;
  return 0;
}

int copyEntry(int sourceDir, const std::string& sourceName, int destinationDir, const std::string& destinationName,
              const std::string& sourcePath, Copy& copy, bool* created);

int copyFile(int sourceDir, const std::string& sourceName, const struct stat& st, int destinationDir,
             const std::string& destinationName, const std::string& sourcePath, Copy& copy, bool* created) {
  UniqueFd in(::openat(sourceDir, sourceName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!in.valid()) return copy.failure(errno, sourcePath);
  if (!sameItem(in.get(), st)) return copy.failure(EAGAIN, sourcePath);
  UniqueFd out(::openat(destinationDir, destinationName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        0600));
  if (!out.valid()) return copy.failure(errno, sourcePath);
  *created = true;
  if (int e = copyData(in.get(), out.get()); e != 0) return copy.failure(e, sourcePath);
  if (int e = finishItem(in.get(), out.get(), st, copy); e != 0) return copy.failure(e, sourcePath);
  if (::close(out.release()) != 0) return copy.failure(errno, sourcePath);
  return 0;
}

int copyDirectory(int sourceDir, const std::string& sourceName, const struct stat& st, int destinationDir,
                  const std::string& destinationName, const std::string& sourcePath, Copy& copy, bool* created) {
  UniqueFd in(::openat(sourceDir, sourceName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!in.valid()) return copy.failure(errno, sourcePath);
  if (!sameItem(in.get(), st)) return copy.failure(EAGAIN, sourcePath);
  std::vector<std::string> names;
  if (int e = FileSystem::listDirectory(in.get(), &names); e != 0) return copy.failure(e, sourcePath);
  if (::mkdirat(destinationDir, destinationName.c_str(), 0700) != 0) return copy.failure(errno, sourcePath);
  *created = true;
  UniqueFd out(::openat(destinationDir, destinationName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!out.valid()) return copy.failure(errno, sourcePath);
  for (const auto& name : names) {
    bool childCreated = false;
    if (int e = copyEntry(in.get(), name, out.get(), name, sourcePath + "/" + name, copy, &childCreated); e != 0)
      return e;
  }
  // Mode and times last: a read-only folder must take its entries first, and adding
  // them would change its modification time.
  if (int e = finishItem(in.get(), out.get(), st, copy); e != 0) return copy.failure(e, sourcePath);
  return 0;
}

int copyLink(int sourceDir, const std::string& sourceName, const struct stat& st, int destinationDir,
             const std::string& destinationName, const std::string& sourcePath, Copy& copy, bool* created) {
  std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
  for (;;) {
    ssize_t n = ::readlinkat(sourceDir, sourceName.c_str(), target.data(), target.size());
    if (n < 0) return copy.failure(errno, sourcePath);
    if (static_cast<size_t>(n) < target.size()) {
      target.resize(static_cast<size_t>(n));
      break;
    }
    target.resize(target.size() * 2);
  }
  if (::symlinkat(target.c_str(), destinationDir, destinationName.c_str()) != 0) return copy.failure(errno, sourcePath);
  *created = true;
  std::timespec times[2] = {st.st_atim, st.st_mtim};
  if (::utimensat(destinationDir, destinationName.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
    return copy.failure(errno, sourcePath);
  return 0;
}

int copyEntry(int sourceDir, const std::string& sourceName, int destinationDir, const std::string& destinationName,
              const std::string& sourcePath, Copy& copy, bool* created) {
  struct stat st {};
  if (::fstatat(sourceDir, sourceName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return copy.failure(errno, sourcePath);
  switch (st.st_mode & S_IFMT) {
    case S_IFREG: return copyFile(sourceDir, sourceName, st, destinationDir, destinationName, sourcePath, copy, created);
    case S_IFDIR:
      return copyDirectory(sourceDir, sourceName, st, destinationDir, destinationName, sourcePath, copy, created);
    case S_IFLNK: return copyLink(sourceDir, sourceName, st, destinationDir, destinationName, sourcePath, copy, created);
    default: return copy.failure(EOPNOTSUPP, sourcePath);
  }
}

// Whether the folder is the item or lies below it: a folder copied into itself would
// copy its own copy without end.
bool folderIsWithin(int folderFd, const struct stat& item) {
  UniqueFd current(::dup(folderFd));
  for (int depth = 0; current.valid() && depth < 4096; ++depth) {
    struct stat st {};
    if (::fstatat(current.get(), "", &st, AT_EMPTY_PATH) != 0) return false;
    if (st.st_dev == item.st_dev && st.st_ino == item.st_ino) return true;
    UniqueFd parent(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat parentStatus {};
    if (!parent.valid() || ::fstatat(parent.get(), "", &parentStatus, AT_EMPTY_PATH) != 0) return false;
    if (parentStatus.st_dev == st.st_dev && parentStatus.st_ino == st.st_ino) return false;  // the root
    current = std::move(parent);
  }
  return false;
}

std::string stagingName(const std::string& leaf) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device random;
  std::string suffix;
  for (int i = 0; i < 10; ++i) suffix += kLetters[random() % (sizeof kLetters - 1)];
  // Stay below the longest name a folder entry may have.
  return "." + leaf.substr(0, 200) + ".incomplete-" + suffix;
}

}  // namespace

int FileCopier::copyItem(const std::string& source, const std::string& destination, std::string* failedPath) {
  std::string sourceLeaf, destinationLeaf;
  int error = 0;
  auto fail = [&](int result, const std::string& path) {
    if (failedPath != nullptr) *failedPath = path;
    return result;
  };
  UniqueFd sourceParent = FileSystem::openParentDirectory(source, &sourceLeaf, &error);
  if (!sourceParent.valid()) return fail(error, source);
  UniqueFd destinationParent = FileSystem::openParentDirectory(destination, &destinationLeaf, &error);
  if (!destinationParent.valid()) return fail(error, destination);
  return copyItemAt(sourceParent.get(), sourceLeaf, destinationParent.get(), destinationLeaf, failedPath, source,
                    destination);
}

int FileCopier::copyItemAt(int sourceDirectoryFd, const std::string& sourceLeaf, int destinationDirectoryFd,
                           const std::string& destinationLeaf, std::string* failedPath, const std::string& sourcePath,
                           const std::string& destinationPath) {
  const std::string source = sourcePath.empty() ? sourceLeaf : sourcePath;
  const std::string destination = destinationPath.empty() ? destinationLeaf : destinationPath;
  Copy copy;
  auto finish = [&](int result) {
    if (failedPath != nullptr) *failedPath = result == 0 ? std::string() : copy.failedPath;
    return result;
  };
  // Descriptors of their own: the O_PATH ones that callers may hold cannot be synced.
  UniqueFd sourceParent(::openat(sourceDirectoryFd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!sourceParent.valid()) return finish(copy.failure(errno, source));
  UniqueFd destinationParent(::openat(destinationDirectoryFd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!destinationParent.valid()) return finish(copy.failure(errno, destination));
  if (FileSystem::statusAt(destinationParent.get(), destinationLeaf, nullptr) == 0)
    return finish(copy.failure(EEXIST, destination));
  struct stat sourceStatus {};
  if (::fstatat(sourceParent.get(), sourceLeaf.c_str(), &sourceStatus, AT_SYMLINK_NOFOLLOW) != 0)
    return finish(copy.failure(errno, source));
  if (S_ISDIR(sourceStatus.st_mode) && folderIsWithin(destinationParent.get(), sourceStatus))
    return finish(copy.failure(EINVAL, destination));

  std::string staged;
  for (int attempt = 0;; ++attempt) {
    staged = stagingName(destinationLeaf);
    if (FileSystem::statusAt(destinationParent.get(), staged, nullptr) == ENOENT) break;
    if (attempt == 100) return finish(copy.failure(EEXIST, destination));
  }
  bool created = false;
  int result = copyEntry(sourceParent.get(), sourceLeaf, destinationParent.get(), staged, source, copy, &created);
  if (result == 0) {
    // On the device before it gets its name: the caller may remove the source next.
    UniqueFd syncHandle(::openat(destinationParent.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (syncHandle.valid()) {
      if (int e = FileSystem::syncFileSystem(syncHandle.get()); e != 0) result = copy.failure(e, destination);
    }
  }
  if (result == 0) {
    result = FileSystem::moveItemAt(destinationParent.get(), staged, destinationParent.get(), destinationLeaf);
    if (result != 0) copy.failure(result, destination);
  }
  if (result != 0 && created) FileSystem::removeItemAt(destinationParent.get(), staged);
  if (result == 0) {
    UniqueFd parent(::openat(destinationParent.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.valid()) ::fsync(parent.get());
  }
  return finish(result);
}

}  // namespace vantor::platform
