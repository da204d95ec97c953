#include "platform/SecureDirectory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vantor::platform {
namespace {

void setError(int* errorNumber, int value) {
  if (errorNumber != nullptr) *errorNumber = value;
}

bool validName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

UniqueFd SecureDirectory::openPath(const std::string& absolutePath, std::vector<FileStatus>* statuses,
                                   int* errorNumber) {
  if (absolutePath.empty() || absolutePath.front() != '/') {
    setError(errorNumber, EINVAL);
    return UniqueFd();
  }
  UniqueFd current(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  FileStatus status;
  if (!current.valid() || FileSystem::statusAt(current.get(), "", &status) != 0) {
    setError(errorNumber, errno);
    return UniqueFd();
  }
  if (statuses != nullptr) statuses->push_back(status);
  size_t start = 1;
  while (start < absolutePath.size()) {
    size_t end = absolutePath.find('/', start);
    if (end == std::string::npos) end = absolutePath.size();
    std::string component = absolutePath.substr(start, end - start);
    start = end + 1;
    if (component.empty()) continue;  // doubled or trailing slash
    if (!validName(component)) {
      setError(errorNumber, EINVAL);
      return UniqueFd();
    }
    int error = 0;
    UniqueFd next = openAt(current.get(), component, &status, &error);
    if (!next.valid()) {
      setError(errorNumber, error);
      return UniqueFd();
    }
    if (statuses != nullptr) statuses->push_back(status);
    current = std::move(next);
  }
  setError(errorNumber, 0);
  return current;
}

UniqueFd SecureDirectory::openAt(int directoryFd, const std::string& name, FileStatus* status, int* errorNumber) {
  if (!validName(name)) {
    setError(errorNumber, EINVAL);
    return UniqueFd();
  }
  FileStatus before;
  if (int e = FileSystem::statusAt(directoryFd, name, &before); e != 0) {
    setError(errorNumber, e);
    return UniqueFd();
  }
  if (before.isSymlink() || !before.isDirectory()) {
    setError(errorNumber, before.isSymlink() ? ELOOP : ENOTDIR);
    return UniqueFd();
  }
  UniqueFd fd(::openat(directoryFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) {
    setError(errorNumber, errno);
    return UniqueFd();
  }
  FileStatus opened;
  if (int e = FileSystem::statusAt(fd.get(), "", &opened); e != 0) {
    setError(errorNumber, e);
    return UniqueFd();
  }
  if (status != nullptr) *status = opened;
  setError(errorNumber, 0);
  return fd;
}

UniqueFd SecureDirectory::makeDirectoryAt(int directoryFd, const std::string& name, unsigned mode, FileStatus* status,
                                          int* errorNumber) {
  if (!validName(name)) {
    setError(errorNumber, EINVAL);
    return UniqueFd();
  }
  if (::mkdirat(directoryFd, name.c_str(), 0700) != 0) {
    setError(errorNumber, errno);
    return UniqueFd();
  }
  FileStatus opened;
  int error = 0;
  UniqueFd fd = openAt(directoryFd, name, &opened, &error);
  // Another folder under that name by now: the owner or the mode tells.
  if (fd.valid() && (opened.owner != ::geteuid() || opened.mode != 0700)) error = EEXIST, fd.reset();
  if (fd.valid() && ::fchmod(fd.get(), mode) != 0) error = errno, fd.reset();
  if (!fd.valid()) {
    setError(errorNumber, error);
    return UniqueFd();
  }
  FileSystem::statusAt(fd.get(), "", &opened);
  if (status != nullptr) *status = opened;
  setError(errorNumber, 0);
  return fd;
}

int SecureDirectory::walkTreeAt(int directoryFd, const std::string& name, const std::function<int(FileItem&)>& visit) {
  int error = 0;
  auto item = FileItem::openAt(directoryFd, name, &error);
  if (!item) return error;
  if (int r = visit(*item); r != 0) return r;
  if (!item->status().isDirectory()) return 0;
  std::vector<std::string> names;
  if (int e = FileSystem::listDirectory(item->descriptor(), &names); e != 0) return e;
  for (const auto& child : names)
    if (int r = walkTreeAt(item->descriptor(), child, visit); r != 0) return r;
  return 0;
}

int SecureDirectory::removeDirectory(int parentFd, const std::string& name, int directoryFd) {
  std::vector<std::string> names;
  int first = FileSystem::listDirectory(directoryFd, &names);
  for (const auto& child : names) {
    int r = FileSystem::removeItemAt(directoryFd, child);
    if (r != 0 && first == 0) first = r;
  }
  FileStatus held, named;
  if (int e = FileSystem::statusAt(directoryFd, "", &held); e != 0) return first != 0 ? first : e;
  if (int e = FileSystem::statusAt(parentFd, name, &named); e != 0) return first != 0 ? first : e;
  if (named.device != held.device || named.inode != held.inode) return first != 0 ? first : ESTALE;
  if (::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) != 0 && first == 0) first = errno;
  return first;
}

}  // namespace vantor::platform
