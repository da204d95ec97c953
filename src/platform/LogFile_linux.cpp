#include "platform/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace vantor::platform {

namespace {

// Moves the last sizeLimit bytes to the front and cuts the rest.
void keepTail(int fd, std::uint64_t fileSize, std::uint64_t sizeLimit) {
  std::vector<char> tail(sizeLimit);
  ssize_t got = ::pread(fd, tail.data(), tail.size(), static_cast<off_t>(fileSize - sizeLimit));
  if (got != static_cast<ssize_t>(sizeLimit)) return;
  if (::pwrite(fd, tail.data(), tail.size(), 0) != static_cast<ssize_t>(sizeLimit)) return;
  if (::ftruncate(fd, static_cast<off_t>(sizeLimit)) == 0) ::fsync(fd);
}

}  // namespace

std::unique_ptr<LogFile> LogFile::open(const std::string& path, std::uint64_t sizeLimit) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!fd.valid()) return nullptr;
  struct stat st {};
  if (sizeLimit != 0 && ::fstat(fd.get(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) > sizeLimit)
    keepTail(fd.get(), static_cast<std::uint64_t>(st.st_size), sizeLimit);
  return std::unique_ptr<LogFile>(new LogFile(std::move(fd)));
}

void LogFile::append(std::string_view line) {
  ::lseek(fd_.get(), 0, SEEK_END);
  (void)!::write(fd_.get(), line.data(), line.size());
}

int processIdentifier() { return static_cast<int>(::getpid()); }

}  // namespace vantor::platform
