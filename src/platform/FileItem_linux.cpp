#include "platform/FileItem.h"

#include <fcntl.h>
#include <sys/stat.h>
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
  // The type is learnt from a handle that opens nothing, so that a FIFO or a device is
  // never opened for reading.
  item->path_.reset(::openat(item->parent_.get(), item->name_.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  if (!item->path_.valid()) {
    setError(errorNumber, errno);
    return nullptr;
  }
  if (int e = item->refreshStatus(); e != 0) {
    setError(errorNumber, e);
    return nullptr;
  }
  if (!item->status_.isOrdinary()) {
    setError(errorNumber, EOPNOTSUPP);
    return nullptr;
  }
  if (!item->status_.isSymlink()) {
    item->open_.reset(::openat(item->parent_.get(), item->name_.c_str(),
                               O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!item->open_.valid()) {
      setError(errorNumber, errno);
      return nullptr;
    }
    struct stat st {};
    if (::fstat(item->open_.get(), &st) != 0) {
      setError(errorNumber, errno);
      return nullptr;
    }
    // Replaced between the two opens: refuse rather than change another item.
    if (st.st_ino != item->status_.inode || st.st_dev != item->status_.device) {
      setError(errorNumber, EAGAIN);
      return nullptr;
    }
  }
  setError(errorNumber, 0);
  return item;
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

int FileItem::touch() {
  std::timespec times[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
  return applyTimes(times);
}

}  // namespace vantor::platform
