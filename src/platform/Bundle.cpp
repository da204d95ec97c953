#include "platform/Bundle.h"

#include <sys/stat.h>
#include <unistd.h>

#include "vantor/BuildSettings.h"

namespace vantor::platform {
namespace {

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::string folderOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string runningExecutable() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<size_t>(n));
}

}  // namespace

const Bundle& Bundle::main() {
  static const auto* bundle = new Bundle();
  return *bundle;
}

Bundle::Bundle() : executablePath_(runningExecutable()) {
  info_ = {
      {"CFBundleName", build::kBundleName},
      {"CFBundleIdentifier", build::kBundleIdentifier},
      {"CFBundleShortVersionString", build::kBundleShortVersion},
      {"CFBundleVersion", build::kBundleVersion},
      {"CFBundleExecutable", "vantor-install-helper"},
  };
  resourcePath_ = resourcePathForExecutable(executablePath_);
  if (resourcePath_ && *resourcePath_ == std::string(build::kSourceDir) + "/resources")
    builtResourcePath_ = folderOf(executablePath_);
}

std::optional<std::string> Bundle::resourcePathForExecutable(const std::string& executablePath) {
  if (executablePath.empty()) return std::nullopt;
  std::string prefix = folderOf(folderOf(executablePath));
  std::string installed = prefix + "/share/vantor";
  if (isDirectory(installed)) return installed;
  // In the build tree the executable sits in <build>/bin and the resources stay in the
  // sources; only trust that when the build folder really is this build's.
  std::string sources = std::string(build::kSourceDir) + "/resources";
  if (isDirectory(sources) && exists(prefix + "/CMakeCache.txt")) return sources;
  return std::nullopt;
}

std::optional<std::string> Bundle::objectForInfoDictionaryKey(const std::string& key) const {
  auto it = info_.find(key);
  if (it == info_.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

std::string Bundle::bundleIdentifier() const { return build::kBundleIdentifier; }

std::optional<std::string> Bundle::pathForResource(const std::string& fileName) const {
  if (fileName.empty()) return std::nullopt;
  for (const auto& folder : {resourcePath_, builtResourcePath_}) {
    if (!folder) continue;
    std::string path = *folder + "/" + fileName;
    if (exists(path)) return path;
  }
  return std::nullopt;
}

std::optional<std::string> Bundle::privateFrameworksPath() const {
  if (!resourcePath_) return std::nullopt;
  return *resourcePath_ + "/Frameworks";
}

}  // namespace vantor::platform
