#include "platform/FileItem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>

namespace vantor::platform {
namespace {

void setError(int* errorNumber, int value) {
  if (errorNumber != nullptr) *errorNumber = value;
}

}  // namespace

std::unique_ptr<FileItem> FileItem::open(const std::string& path, int* errorNumber) {
  std::unique_ptr<FileItem> item(new FileItem());
  int error = 0;
  item->parent_ = FileSystem::openParentDirectory(path, &item->name_, &error);
  if (!item->parent_.valid()) {
    setError(errorNumber, error);
    return nullptr;
  }
  if (int e = item->openItem(errorNumber); e != 0) return nullptr;
  return item;
}

std::unique_ptr<FileItem> FileItem::openAt(int directoryFd, const std::string& name, int* errorNumber) {
  std::unique_ptr<FileItem> item(new FileItem());
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    setError(errorNumber, EINVAL);
    return nullptr;
  }
  item->parent_.reset(::fcntl(directoryFd, F_DUPFD_CLOEXEC, 0));
  if (!item->parent_.valid()) {
    setError(errorNumber, errno);
    return nullptr;
  }
  item->name_ = name;
  if (int e = item->openItem(errorNumber); e != 0) return nullptr;
  return item;
}

int FileItem::openItem(int* errorNumber) {
  auto fail = [&](int e) {
    setError(errorNumber, e);
    return e;
  };
  // The type is learnt from a handle that opens nothing, so that a FIFO or a device is
  // never opened for reading.
  path_.reset(::openat(parent_.get(), name_.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  if (!path_.valid()) return fail(errno);
  if (int e = refreshStatus(); e != 0) return fail(e);
  if (!status_.isOrdinary()) return fail(EOPNOTSUPP);
  if (!status_.isSymlink()) {
    open_.reset(::openat(parent_.get(), name_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!open_.valid()) return fail(errno);
    struct stat st {};
    if (::fstat(open_.get(), &st) != 0) return fail(errno);
    // Replaced between the two opens: refuse rather than change another item.
    if (st.st_ino != status_.inode || st.st_dev != status_.device) return fail(EAGAIN);
  }
  setError(errorNumber, 0);
  return 0;
}

int FileItem::refreshStatus() {
  return FileSystem::statusAt(path_.get(), "", &status_);
}

int FileItem::changeOwner(unsigned owner, unsigned group) {
  if (open_.valid()) return ::fchown(open_.get(), owner, group) == 0 ? 0 : errno;
  return ::fchownat(path_.get(), "", owner, group, AT_EMPTY_PATH) == 0 ? 0 : errno;
}

int FileItem::changeMode(unsigned mode) {
  if (!open_.valid()) return 0;
  return ::fchmod(open_.get(), mode) == 0 ? 0 : errno;
}

int FileItem::applyTimes(const std::timespec times[2]) {
  if (open_.valid()) return ::futimens(open_.get(), times) == 0 ? 0 : errno;
  return ::utimensat(parent_.get(), name_.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int FileItem::setAccessTime(const std::timespec& accessTime) {
  std::timespec times[2] = {accessTime, {0, UTIME_OMIT}};
  return applyTimes(times);
}

int FileItem::setTimes(const std::timespec& accessTime, const std::timespec& modificationTime) {
  std::timespec times[2] = {accessTime, modificationTime};
  return applyTimes(times);
}

int FileItem::removeExtendedAttribute(const std::string& systemName) {
  if (!open_.valid()) return 0;
  if (::fremovexattr(open_.get(), systemName.c_str()) == 0 || errno == ENODATA) return 0;
  return errno;
}

int FileItem::touch() {
  std::timespec times[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
  return applyTimes(times);
}

}  // namespace vantor::platform
