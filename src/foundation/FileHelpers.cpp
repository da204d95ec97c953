#include "foundation/FileHelpers.h"

#include <openssl/evp.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "foundation/Format.h"
#include "foundation/StringHelpers.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/PropertyList.h"
#include "vantor/BuildSettings.h"

namespace vantor {
namespace fs = std::filesystem;

bool fileExists(const std::string& path) {
  platform::FileStatus status;
  return platform::FileSystem::status(path, &status) == 0;
}

bool fileIsDirectory(const std::string& path) {
  platform::FileStatus status;
  return platform::FileSystem::status(path, &status, true) == 0 && status.isDirectory();
}

bool fileIsSymlink(const std::string& path) {
  platform::FileStatus status;
  return platform::FileSystem::status(path, &status) == 0 && status.isSymlink();
}

std::uint64_t fileSize(const std::string& path) {
  platform::FileStatus status;
  if (platform::FileSystem::status(path, &status) != 0) return 0;
  return static_cast<std::uint64_t>(status.size);
}

std::optional<Bytes> contents(const std::string& path) {
  if (fileIsDirectory(path)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::optional<std::string> contentsAsString(const std::string& path) {
  if (fileIsDirectory(path)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool isWriteablePath(const std::string& path) {
  if (fileExists(path)) return false;
  if (!platform::writeFileAtomically(path, "TEST")) return false;
  platform::FileSystem::removeItem(path);
  return true;
}

bool isReadablePath(const std::string& path) { return platform::FileSystem::isReadable(path); }

std::optional<std::vector<std::string>> directoryContents(const std::string& path) {
  std::error_code ec;
  fs::directory_iterator it(path, ec);
  if (ec) return std::nullopt;
  std::vector<std::string> names;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) return std::nullopt;
    names.push_back(it->path().filename().string());
  }
  return names;
}

std::optional<std::vector<std::string>> directoryContentsRecursive(const std::string& path) {
  std::error_code ec;
  fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, ec);
  if (ec) return std::nullopt;
  std::vector<std::string> names;
  for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (ec) break;
    names.push_back(it->path().lexically_relative(path).string());
  }
  return names;
}

std::optional<std::vector<std::string>> directoryContentsAbsolute(const std::string& path) {
  auto names = directoryContents(path);
  if (!names) return std::nullopt;
  for (auto& name : *names) name = stringByAppendingPathComponent(path, name);
  return names;
}

std::string uniqueFile(const std::string& path) {
  if (!fileExists(path)) return path;
  std::string base = stringByDeletingPathExtension(path);
  std::string ext = pathExtension(path);
  for (int i = 0;; ++i) {
    std::string candidate = makeString("%@-%i.%@", base, i, ext);
    if (!fileExists(candidate)) return candidate;
  }
}

std::string fileChecksumSHA(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in || fileIsDirectory(path)) return "NoFile";
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EVP_DigestInit_ex(ctx, EVP_sha1(), nullptr);
  char buf[1 << 16];
  while (in) {
    in.read(buf, sizeof buf);
    EVP_DigestUpdate(ctx, buf, static_cast<size_t>(in.gcount()));
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_DigestFinal_ex(ctx, digest, &len);
  EVP_MD_CTX_free(ctx);
  return hexString(digest, len);
}

bool writeContentsAtomically(const std::string& path, std::string_view bytes, int* errorNumber) {
  return platform::writeFileAtomically(path, bytes, errorNumber);
}

bool removeItem(const std::string& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
  return !fileExists(path);
}

bool createDirectories(const std::string& path) {
  std::error_code ec;
  fs::create_directories(path, ec);
  return fileIsDirectory(path);
}

std::optional<std::string> makeTempDirectory() {
  std::string tmpl = stringByAppendingPathComponent(platform::temporaryDirectory(), build::kBundleIdentifier) + ".XXXXXX";
  if (::mkdtemp(tmpl.data()) == nullptr) return std::nullopt;
  return tmpl;
}

std::optional<std::string> makeTempFilepath(const std::string& extension) {
  auto dir = makeTempDirectory();
  if (!dir) return std::nullopt;
  return uniqueFile(stringByAppendingPathComponent(*dir, "1." + extension));
}

}  // namespace vantor
