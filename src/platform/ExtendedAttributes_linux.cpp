#include "platform/ExtendedAttributes.h"

#include <sys/xattr.h>

#include <cerrno>

namespace vantor::platform {
namespace {

void setError(int* errorNumber, int value) {
  if (errorNumber != nullptr) *errorNumber = value;
}

}  // namespace

std::string ExtendedAttributes::systemName(const std::string& name) {
  for (const char* space : {"user.", "trusted.", "security.", "system."})
    if (name.rfind(space, 0) == 0) return name;
  return "user." + name;
}

long ExtendedAttributes::size(const std::string& path, const std::string& name, bool noFollow, int* errorNumber) {
  std::string key = systemName(name);
  ssize_t n = noFollow ? ::lgetxattr(path.c_str(), key.c_str(), nullptr, 0)
                       : ::getxattr(path.c_str(), key.c_str(), nullptr, 0);
  setError(errorNumber, n < 0 ? errno : 0);
  return static_cast<long>(n);
}

std::optional<std::vector<std::uint8_t>> ExtendedAttributes::value(const std::string& path, const std::string& name,
                                                                   bool noFollow, int* errorNumber) {
  std::string key = systemName(name);
  // The value may grow between the size query and the read; try again then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    ssize_t n = noFollow ? ::lgetxattr(path.c_str(), key.c_str(), nullptr, 0)
                         : ::getxattr(path.c_str(), key.c_str(), nullptr, 0);
    if (n < 0) break;
    std::vector<std::uint8_t> bytes(static_cast<size_t>(n));
    n = noFollow ? ::lgetxattr(path.c_str(), key.c_str(), bytes.data(), bytes.size())
                 : ::getxattr(path.c_str(), key.c_str(), bytes.data(), bytes.size());
    if (n >= 0) {
      bytes.resize(static_cast<size_t>(n));
      setError(errorNumber, 0);
      return bytes;
    }
    if (errno != ERANGE) break;
  }
  setError(errorNumber, errno);
  return std::nullopt;
}

int ExtendedAttributes::setValue(const std::string& path, const std::string& name,
                                 const std::vector<std::uint8_t>& value, bool noFollow) {
  std::string key = systemName(name);
  int result = noFollow ? ::lsetxattr(path.c_str(), key.c_str(), value.data(), value.size(), 0)
                        : ::setxattr(path.c_str(), key.c_str(), value.data(), value.size(), 0);
  return result == 0 ? 0 : errno;
}

int ExtendedAttributes::remove(const std::string& path, const std::string& name, bool noFollow) {
  std::string key = systemName(name);
  int result = noFollow ? ::lremovexattr(path.c_str(), key.c_str()) : ::removexattr(path.c_str(), key.c_str());
  return result == 0 ? 0 : errno;
}

std::optional<std::vector<std::string>> ExtendedAttributes::names(const std::string& path, bool noFollow,
                                                                  int* errorNumber) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    ssize_t n = noFollow ? ::llistxattr(path.c_str(), nullptr, 0) : ::listxattr(path.c_str(), nullptr, 0);
    if (n < 0) break;
    std::string buffer(static_cast<size_t>(n), '\0');
    n = noFollow ? ::llistxattr(path.c_str(), buffer.data(), buffer.size())
                 : ::listxattr(path.c_str(), buffer.data(), buffer.size());
    if (n >= 0) {
      std::vector<std::string> result;
      for (size_t start = 0; start < static_cast<size_t>(n);) {
        size_t end = buffer.find('\0', start);
        if (end == std::string::npos) end = static_cast<size_t>(n);
        if (end > start) result.push_back(buffer.substr(start, end - start));
        start = end + 1;
      }
      setError(errorNumber, 0);
      return result;
    }
    if (errno != ERANGE) break;
  }
  setError(errorNumber, errno);
  return std::nullopt;
}

}  // namespace vantor::platform
