#include "platform/ExtractionWatch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "vantor/BuildSettings.h"

namespace vantor::platform {
namespace {

std::mutex limitsMutex;
std::optional<ExtractionLimits> limitsOverride;

void addTree(int dirFd, dev_t device, FolderUsage& usage, int depth) {
  DIR* dir = ::fdopendir(dirFd);
  if (dir == nullptr) {
    ::close(dirFd);
    return;
  }
  while (dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    struct stat st {};
    if (::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    ++usage.entries;
    usage.bytes += std::max<std::uint64_t>(static_cast<std::uint64_t>(st.st_size),
                                           static_cast<std::uint64_t>(st.st_blocks) * 512);
    // Deep trees are counted to a depth no archive of an application needs; below it
    // the entries are still on disk but the walk stays bounded.
    if (S_ISDIR(st.st_mode) && st.st_dev == device && depth < 256) {
      int child = ::openat(::dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child >= 0) addTree(child, device, usage, depth + 1);
    }
  }
  ::closedir(dir);
}

}  // namespace

ExtractionLimits extractionLimits() {
  std::lock_guard lock(limitsMutex);
  if (limitsOverride) return *limitsOverride;
  return {build::kExtractionMaxMB * 1024 * 1024, build::kExtractionMaxEntries, build::kExtractionMaxSeconds};
}

void setExtractionLimits(std::optional<ExtractionLimits> limits) {
  std::lock_guard lock(limitsMutex);
  limitsOverride = limits;
}

FolderUsage measureFolder(const std::string& folder) {
  FolderUsage usage;
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return usage;
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) addTree(fd, st.st_dev, usage, 0);
  return usage;
}

ExtractionWatch::ExtractionWatch(std::string folder, const ExtractionLimits& limits)
    : folder_(std::move(folder)), limits_(limits), start_(std::chrono::steady_clock::now()) {
  thread_ = std::thread([this] { run(); });
}

ExtractionWatch::~ExtractionWatch() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

std::optional<std::string> ExtractionWatch::exceeded() {
  std::lock_guard lock(mutex_);
  if (!reason_) {
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (elapsed > limits_.maxSeconds)
      reason_ = "did not finish within " + std::to_string(static_cast<long long>(limits_.maxSeconds)) + " seconds";
  }
  return reason_;
}

std::chrono::steady_clock::duration ExtractionWatch::measure(std::unique_lock<std::mutex>& lock) {
  using namespace std::chrono;
  lock.unlock();
  auto began = steady_clock::now();
  FolderUsage usage = measureFolder(folder_);
  auto took = steady_clock::now() - began;
  lock.lock();
  if (reason_) return took;
  if (usage.bytes > limits_.maxBytes)
    reason_ = "wrote more than the limit of " + std::to_string(limits_.maxBytes) + " bytes";
  else if (usage.entries > limits_.maxEntries)
    reason_ = "wrote more than the limit of " + std::to_string(limits_.maxEntries) + " files";
  return took;
}

std::optional<std::string> ExtractionWatch::exceededAfterExit() {
  {
    std::unique_lock lock(mutex_);
    measure(lock);
  }
  return exceeded();
}

void ExtractionWatch::run() {
  using namespace std::chrono;
  std::unique_lock lock(mutex_);
  while (!stopping_ && !reason_) {
    auto took = measure(lock);
    // Measuring a large tree is not free: never spend more than a third of the time on it.
    auto pause = std::max<steady_clock::duration>(milliseconds(100), took * 2);
    wake_.wait_for(lock, pause, [this] { return stopping_; });
  }
}

}  // namespace vantor::platform
