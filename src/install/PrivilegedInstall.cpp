#include "install/PrivilegedInstall.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <vector>

#include "foundation/Format.h"
#include "foundation/Log.h"
#include "foundation/StringHelpers.h"
#include "install/AppReplacement.h"
#include "install/ReplacementFileOperations.h"
#include "install/ZRSUFileManager.h"
#include "platform/ExtendedAttributes.h"
#include "platform/FileCopier.h"
#include "platform/FileSystem.h"
#include "platform/SecureDirectory.h"

namespace vantor::install {
namespace {

using platform::FileItem;
using platform::FileStatus;
using platform::FileSystem;
using platform::SecureDirectory;
using platform::UniqueFd;

Error posixError(int errorNumber, const std::string& what) {
  return Error(kPOSIXErrorDomain, errorNumber,
               Json{{kLocalizedDescriptionKey, makeString("%@: %@", what, std::strerror(errorNumber))}});
}

bool fail(Error* error, int errorNumber, const std::string& what) {
  if (error != nullptr) *error = posixError(errorNumber, what);
  return false;
}

bool endsWithApp(const std::string& name) { return name.size() > 4 && name.compare(name.size() - 4, 4, ".app") == 0; }

// "/a//b/" as "/a/b"; nothing when the path is relative or has "." or ".." components.
std::optional<std::string> normalizedPath(const std::string& path, PrivilegedInstallCode* code) {
  if (path.empty() || path.front() != '/') {
    *code = PrivilegedInstallCode::kRelativePath;
    return std::nullopt;
  }
  std::string result;
  for (const auto& component : split(path, "/")) {
    if (component.empty()) continue;
    if (component == "." || component == "..") {
      *code = PrivilegedInstallCode::kDotComponent;
      return std::nullopt;
    }
    result += "/" + component;
  }
  return result.empty() ? std::string("/") : result;
}

PrivilegedInstallCode codeForOpenError(int errorNumber, PrivilegedInstallCode missing) {
  if (errorNumber == ELOOP) return PrivilegedInstallCode::kSymbolicLink;
  if (errorNumber == EINVAL) return PrivilegedInstallCode::kDotComponent;
  return missing;
}

// The replacement's file operations over folders held by descriptor. Every path that
// AppReplacement passes is a held folder or a name in one; anything else is refused.
class HeldFolderOperations : public ReplacementFileOperations {
 public:
  explicit HeldFolderOperations(uid_t invoker) : invoker_(invoker) {}

  // A folder of the user's (or the target folder), opened by the caller.
  void hold(const std::string& path, UniqueFd fd, bool usersOwn) {
    Folder folder;
    folder.fd = std::move(fd);
    folder.usersOwn = usersOwn;
    folders_[path] = std::move(folder);
  }

  bool _itemExistsAtURL(const std::string& url) const override {
    if (folders_.count(url) != 0) return true;
    auto place = resolve(url);
    return place && FileSystem::statusAt(place->first, place->second, nullptr) == 0;
  }

  bool moveItemAtURL(const std::string& source, const std::string& destination, Error* error) override {
    auto from = resolve(source);
    auto to = resolve(destination);
    if (!from || !to) return fail(error, EPERM, makeString("Not a place this tool may move %@ to %@", source, destination));
    FileStatus before;
    if (int e = FileSystem::statusAt(from->first, from->second, &before); e != 0)
      return fail(error, e, makeString("Could not read %@", source));
    // Only whole bundles move, never a link that stands in for one.
    if (!before.isDirectory()) return fail(error, ENOTDIR, makeString("Not a folder: %@", source));
    if (folderOf(source).usersOwn && before.owner != invoker_)
      return fail(error, EPERM, makeString("Not the user's own: %@", source));
    int e = FileSystem::moveItemAt(from->first, from->second, to->first, to->second);
    if (e == EXDEV) {
      std::string failedPath;
      e = platform::FileCopier::copyItemAt(from->first, from->second, to->first, to->second, &failedPath, source,
                                           destination);
      if (e != 0) return fail(error, e, makeString("Could not copy %@ to %@ (%@)", source, destination, failedPath));
      if (int r = FileSystem::removeItemAt(from->first, from->second); r != 0)
        return fail(error, r, makeString("Copied %@ but could not remove it", source));
      return true;
    }
    if (e != 0) return fail(error, e, makeString("Could not move %@ to %@", source, destination));
    FileStatus after;
    if (FileSystem::statusAt(to->first, to->second, &after) != 0 || after.inode != before.inode ||
        after.device != before.device) {
      // Swapped between the check and the move: give it back and stop.
      (void)FileSystem::moveItemAt(to->first, to->second, from->first, from->second);
      return fail(error, EAGAIN, makeString("%@ changed while it was moved", source));
    }
    return true;
  }

  bool removeItemAtURL(const std::string& url, Error* error) override {
    if (auto it = folders_.find(url); it != folders_.end() && it->second.parentFd >= 0) {
      int e = SecureDirectory::removeDirectory(it->second.parentFd, lastPathComponent(url), it->second.fd.get());
      folders_.erase(it);
      return e == 0 || fail(error, e, makeString("Could not remove %@", url));
    }
    auto place = resolve(url);
    if (!place) return fail(error, EPERM, makeString("Not a place this tool may remove: %@", url));
    int e = FileSystem::removeItemAt(place->first, place->second);
    return e == 0 || fail(error, e, makeString("Could not remove %@", url));
  }

  std::optional<std::string> makeTemporaryDirectoryWithPreferredName(const std::string& preferredName,
                                                                     const std::string& directory,
                                                                     Error* error) override {
    auto it = folders_.find(directory);
    if (it == folders_.end()) {
      fail(error, EPERM, makeString("Not a folder this tool may write into: %@", directory));
      return std::nullopt;
    }
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    int e = EEXIST;
    for (int attempt = 0; attempt < 100 && e == EEXIST; ++attempt) {
      std::string name = preferredName.substr(0, 200) + ".";
      for (int i = 0; i < 8; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
      UniqueFd fd = SecureDirectory::makeDirectoryAt(it->second.fd.get(), name, 0700, nullptr, &e);
      if (fd.valid()) {
        std::string path = stringByAppendingPathComponent(directory, name);
        Folder folder;
        folder.fd = std::move(fd);
        folder.parentFd = it->second.fd.get();
        folders_[path] = std::move(folder);
        return path;
      }
    }
    fail(error, e, makeString("Could not make a temporary folder in %@", directory));
    return std::nullopt;
  }

  bool updateAccessTimeOfItemAtRootURL(const std::string& root, Error* error) override {
    std::timespec now{};
    if (int e = FileSystem::currentTime(&now); e != 0) return fail(error, e, "No clock");
    return walk(root, error, [&](FileItem& item) {
      if (item.status().isSymlink()) return 0;
      // "+r+X", as for the user's own installs.
      unsigned mode = item.status().mode | 0444;
      if (item.status().isDirectory() || (mode & 0111) != 0) mode |= 0111;
      if (int e = item.changeMode(mode); e != 0) return e;
      return item.setAccessTime(now);
    });
  }

  bool updateModificationAndAccessTimeOfItemAtURL(const std::string& url, Error* error) override {
    return openItem(url, error, [](FileItem& item) { return item.touch(); });
  }

  bool releaseItemFromQuarantineAtRootURL(const std::string& root, Error* error) override {
    const std::string attribute = platform::ExtendedAttributes::systemName(kQuarantineAttributeName);
    return walk(root, error, [&](FileItem& item) { return item.removeExtendedAttribute(attribute); });
  }

  bool changeOwnerAndGroupOfItemAtRootURL(const std::string& root, const std::string& model, Error* error) override {
    FileStatus modelStatus, rootStatus;
    if (!status(model, &modelStatus, error) || !status(root, &rootStatus, error)) return false;
    if (rootStatus.owner == modelStatus.owner && rootStatus.group == modelStatus.group) return true;
    return walk(root, error, [&](FileItem& item) { return item.changeOwner(modelStatus.owner, modelStatus.group); });
  }

  bool setHiddenOfItemAtURL(const std::string& url, bool /*hidden*/, Error* error) override {
    return _itemExistsAtURL(url) || fail(error, ENOENT, makeString("No item at %@", url));
  }

  // The bundle replaced here is always the empty stand-in, which has no tags to carry.
  std::vector<std::string> tagNamesOfItemAtURL(const std::string& /*url*/) override { return {}; }
  bool setTagNamesOfItemAtURL(const std::string& /*url*/, const std::vector<std::string>& /*names*/,
                              Error* /*error*/) override {
    return true;
  }

 private:
  struct Folder {
    UniqueFd fd;
    int parentFd = -1;      // set for the folders made here
    bool usersOwn = false;  // everything in it must belong to the invoking user
  };

  std::optional<std::pair<int, std::string>> resolve(const std::string& path) const {
    auto it = folders_.find(stringByDeletingLastPathComponent(path));
    std::string leaf = lastPathComponent(path);
    if (it == folders_.end() || leaf.empty() || leaf == "." || leaf == ".." || leaf.find('/') != std::string::npos)
      return std::nullopt;
    return std::pair{it->second.fd.get(), leaf};
  }

  const Folder& folderOf(const std::string& path) const { return folders_.at(stringByDeletingLastPathComponent(path)); }

  bool status(const std::string& url, FileStatus* out, Error* error) const {
    auto place = resolve(url);
    if (!place) return fail(error, EPERM, makeString("Not a place this tool may read: %@", url));
    int e = FileSystem::statusAt(place->first, place->second, out);
    return e == 0 || fail(error, e, makeString("Could not read %@", url));
  }

  bool openItem(const std::string& url, Error* error, const std::function<int(FileItem&)>& action) const {
    auto place = resolve(url);
    if (!place) return fail(error, EPERM, makeString("Not a place this tool may change: %@", url));
    int e = 0;
    auto item = FileItem::openAt(place->first, place->second, &e);
    if (item) e = action(*item);
    return e == 0 || fail(error, e, makeString("Could not change %@", url));
  }

  // Every item below root must be the invoking user's: the tree came from their download,
  // and a root-owned item in it (a hard link, say) must never be changed here.
  bool walk(const std::string& root, Error* error, const std::function<int(FileItem&)>& action) const {
    auto place = resolve(root);
    if (!place) return fail(error, EPERM, makeString("Not a place this tool may change: %@", root));
    int e = SecureDirectory::walkTreeAt(place->first, place->second, [&](FileItem& item) {
      if (item.status().owner != invoker_) return EPERM;
      return action(item);
    });
    return e == 0 || fail(error, e, makeString("Could not change the items of %@", root));
  }

  uid_t invoker_;
  std::map<std::string, Folder> folders_;
};

// Opens the folder holding a bundle of the user's and checks the bundle: an existing
// folder named *.app, inside a folder owned by the invoking user, with every component
// from that folder down theirs.
PrivilegedInstallCode openUsersBundleParent(const std::string& bundle, uid_t invoker, UniqueFd* parent,
                                            std::string* reason) {
  std::string leaf = lastPathComponent(bundle);
  if (!endsWithApp(leaf)) {
    *reason = makeString("not named *.app: %@", bundle);
    return PrivilegedInstallCode::kNotAnApp;
  }
  std::vector<FileStatus> statuses;
  int e = 0;
  *parent = SecureDirectory::openPath(stringByDeletingLastPathComponent(bundle), &statuses, &e);
  if (!parent->valid()) {
    *reason = makeString("cannot open the folder of %@: %@", bundle, std::strerror(e));
    return codeForOpenError(e, PrivilegedInstallCode::kNotAnApp);
  }
  FileStatus status;
  UniqueFd app = SecureDirectory::openAt(parent->get(), leaf, &status, &e);
  if (!app.valid()) {
    *reason = makeString("not a folder: %@ (%@)", bundle, std::strerror(e));
    return codeForOpenError(e, PrivilegedInstallCode::kNotAnApp);
  }
  statuses.push_back(status);
  size_t first = 0;
  while (first < statuses.size() && statuses[first].owner != invoker) ++first;
  // The bundle itself does not count as its scratch folder.
  bool owned = first + 1 < statuses.size();
  for (size_t i = first; owned && i < statuses.size(); ++i) owned = statuses[i].owner == invoker;
  if (!owned) {
    *reason = makeString("not inside a folder of user %u: %@", static_cast<unsigned>(invoker), bundle);
    return PrivilegedInstallCode::kNotTheUsersOwn;
  }
  return PrivilegedInstallCode::kSuccess;
}

}  // namespace

PrivilegedInstall::PrivilegedInstall(uid_t invokingUser, std::string fakeAppPath, std::string finalPath,
                                     std::string foundAppPath)
    : invoker_(invokingUser), fake_(std::move(fakeAppPath)), final_(std::move(finalPath)), found_(std::move(foundAppPath)) {}

PrivilegedInstallCode PrivilegedInstall::run(const std::function<void(double)>& progress, std::string* reason) {
  std::string why;
  auto refuse = [&](PrivilegedInstallCode code) {
    if (reason != nullptr) *reason = why;
    return code;
  };
  PrivilegedInstallCode code = PrivilegedInstallCode::kSuccess;
  auto fake = normalizedPath(fake_, &code);
  auto final = fake ? normalizedPath(final_, &code) : std::nullopt;
  auto found = final ? normalizedPath(found_, &code) : std::nullopt;
  if (!found) {
    why = makeString("paths must be absolute, without . or .. components: %@ %@ %@", fake_, final_, found_);
    return refuse(code);
  }

  std::string finalLeaf = lastPathComponent(*final);
  if (!endsWithApp(finalLeaf)) {
    why = makeString("the final path is not named *.app: %@", *final);
    return refuse(PrivilegedInstallCode::kNotAnApp);
  }
  int e = 0;
  std::string finalParentPath = stringByDeletingLastPathComponent(*final);
  UniqueFd finalParent = SecureDirectory::openPath(finalParentPath, nullptr, &e);
  if (!finalParent.valid()) {
    why = makeString("cannot open the folder of the final path %@: %@", *final, std::strerror(e));
    return refuse(codeForOpenError(e, PrivilegedInstallCode::kFinalParentMissing));
  }
  if (FileSystem::statusAt(finalParent.get(), finalLeaf, nullptr) != ENOENT) {
    why = makeString("something is at the final path already: %@", *final);
    return refuse(PrivilegedInstallCode::kFinalPathExists);
  }

  UniqueFd foundParent, fakeParent;
  if (auto c = openUsersBundleParent(*found, invoker_, &foundParent, &why); c != PrivilegedInstallCode::kSuccess)
    return refuse(c);
  if (auto c = openUsersBundleParent(*fake, invoker_, &fakeParent, &why); c != PrivilegedInstallCode::kSuccess)
    return refuse(c);

  // Every item of the found app must be the user's plain file, folder or link; the
  // replacement checks again as it changes each one.
  int walkError = SecureDirectory::walkTreeAt(foundParent.get(), lastPathComponent(*found), [&](FileItem& item) {
    return item.status().owner == invoker_ ? 0 : EPERM;
  });
  if (walkError != 0) {
    why = makeString("the found app holds an item that is not the user's own file: %@ (%@)", *found,
                     std::strerror(walkError));
    return refuse(PrivilegedInstallCode::kNotTheUsersOwn);
  }

  HeldFolderOperations operations(invoker_);
  std::string foundParentPath = stringByDeletingLastPathComponent(*found);
  std::string fakeParentPath = stringByDeletingLastPathComponent(*fake);
  operations.hold(finalParentPath, std::move(finalParent), false);
  operations.hold(foundParentPath, std::move(foundParent), true);
  // The same folder twice is held once, as the user's.
  operations.hold(fakeParentPath, std::move(fakeParent), true);

  AppReplacement replacement(operations, *fake, *final, *found, progress);
  Error error;
  if (!replacement.run(&error)) {
    why = error.description();
    return refuse(PrivilegedInstallCode::kReplacementFailed);
  }
  return PrivilegedInstallCode::kSuccess;
}

}  // namespace vantor::install
