#pragma once
// Test helpers for file operations on real folders: scratch folders, small tmpfs mounts,
// sample application bundles, snapshots of whole trees, and child processes (to drop
// privileges or to be killed part-way).

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace vantor::testing {

inline constexpr unsigned kNobody = 65534;
inline constexpr unsigned kNoGroup = 65534;

// A scratch folder that everyone may enter (tests drop to nobody), removed at the end
// together with any tmpfs mounted below it.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = "/tmp/vantor-fileops-test.XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    ::chmod(path_.c_str(), 0755);
  }
  ~TempFolder() {
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) ::umount2(it->c_str(), MNT_DETACH);
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // A new folder at path holding a tmpfs of the given size; false when mounting is not
  // permitted here.
  bool mountTmpfs(const std::string& path, const std::string& size) {
    std::filesystem::create_directories(path);
    std::string options = "size=" + size + ",mode=0755";
    if (::mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) != 0) return false;
    mounts_.push_back(path);
    return true;
  }

 private:
  std::string path_;
  std::vector<std::string> mounts_;
};

inline void makeFolder(const std::string& path, mode_t mode = 0755) {
  std::filesystem::create_directories(path);
  ::chmod(path.c_str(), mode);
}

inline void writeFile(const std::string& path, const std::string& contents, mode_t mode = 0644) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
  }
  ::chmod(path.c_str(), mode);
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void makeLink(const std::string& target, const std::string& path) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  ::symlink(target.c_str(), path.c_str());
}

inline void setAttribute(const std::string& path, const std::string& name, const std::string& value) {
  ::lsetxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0);
}

inline bool hasAttribute(const std::string& path, const std::string& name) {
  return ::lgetxattr(path.c_str(), name.c_str(), nullptr, 0) >= 0;
}

inline bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

inline struct stat lstatOf(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st;
}

inline std::vector<std::string> entriesOf(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

inline void chownTree(const std::string& root, unsigned owner, unsigned group) {
  ::lchown(root.c_str(), owner, group);
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec); it != std::filesystem::recursive_directory_iterator();
       it.increment(ec))
    ::lchown(it->path().c_str(), owner, group);
}

// A bundle shaped like a real one: executable, resources, a framework with its version
// links, a read-only folder, a hidden file, links that leave the bundle (absolute,
// relative, dangling), and extended attributes including the quarantine deep inside.
inline void makeSampleBundle(const std::string& app, const std::string& marker = "v2") {
  makeFolder(app + "/Contents/MacOS");
  writeFile(app + "/Contents/Info.plist",
            "<?xml version=\"1.0\"?><plist><dict><key>CFBundleIdentifier</key><string>com.example.App</string>"
            "<key>CFBundleVersion</key><string>" + marker + "</string></dict></plist>");
  writeFile(app + "/Contents/PkgInfo", "APPL????");
  std::string binary(70000, '\0');
  for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 131 + marker.size()) & 0xff);
  writeFile(app + "/Contents/MacOS/App", binary + marker, 0755);
  writeFile(app + "/Contents/Resources/en.lproj/Localizable.strings", "\"Hello\" = \"Hello\";\n");
  writeFile(app + "/Contents/Resources/.hidden", "dot file");
  writeFile(app + "/Contents/Resources/AppIcon.icns", std::string(4096, 'i'));
  std::string framework = app + "/Contents/Frameworks/Kit.framework";
  writeFile(framework + "/Versions/A/Kit", "framework binary " + marker, 0755);
  writeFile(framework + "/Versions/A/Resources/Info.plist", "<plist><dict/></plist>");
  makeLink("A", framework + "/Versions/Current");
  makeLink("Versions/Current/Kit", framework + "/Kit");
  makeLink("Versions/Current/Resources", framework + "/Resources");
  writeFile(app + "/Contents/Resources/Read Only/notes.txt", "read only", 0444);
  ::chmod((app + "/Contents/Resources/Read Only").c_str(), 0555);
  makeLink("/etc/hostname", app + "/Contents/Resources/absolute-link");
  makeLink("../../../outside-of-the-bundle", app + "/Contents/Resources/relative-link");
  makeLink("nowhere/at/all", app + "/Contents/Resources/dangling-link");
  setAttribute(app, "user.com.apple.quarantine", "0081;5f000000;Browser;");
  setAttribute(app + "/Contents/Resources/en.lproj/Localizable.strings", "user.com.apple.quarantine",
               "0081;5f000000;Browser;");
  setAttribute(app + "/Contents/Resources/AppIcon.icns", "user.com.apple.FinderInfo", std::string(32, '\x01'));
  setAttribute(app + "/Contents/Info.plist", "user.test.marker", marker);
  setAttribute(app + "/Contents/MacOS", "user.test.folder", "folder attribute");
  // The folder times last: creating entries changed them.
  struct timespec times[2] = {{1600000000, 123456789}, {1500000000, 987654321}};
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(app, ec); it != std::filesystem::recursive_directory_iterator();
       it.increment(ec))
    ::utimensat(AT_FDCWD, it->path().c_str(), times, AT_SYMLINK_NOFOLLOW);
  ::utimensat(AT_FDCWD, app.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// Everything that makes two trees the same: per relative path the type, mode, owner,
// contents, link target, extended attributes and modification time.
struct TreeSnapshot {
  struct Entry {
    char type = '?';
    unsigned mode = 0;
    unsigned owner = 0, group = 0;
    std::string contents;  // file bytes or link target
    std::map<std::string, std::string> attributes;
    long long mtimeSeconds = 0, mtimeNanoseconds = 0;
    bool operator==(const Entry&) const = default;
  };
  std::map<std::string, Entry> entries;

  bool operator==(const TreeSnapshot&) const = default;

  // Drops what the caller expects to differ.
  TreeSnapshot without(const std::string& attribute) const {
    TreeSnapshot copy = *this;
    for (auto& [path, entry] : copy.entries) entry.attributes.erase(attribute);
    return copy;
  }
  TreeSnapshot withoutRootTimes() const {
    TreeSnapshot copy = *this;
    if (auto it = copy.entries.find("."); it != copy.entries.end()) it->second.mtimeSeconds = it->second.mtimeNanoseconds = 0;
    return copy;
  }
  TreeSnapshot withoutOwners() const {
    TreeSnapshot copy = *this;
    for (auto& [path, entry] : copy.entries) entry.owner = entry.group = 0;
    return copy;
  }

  static std::string describe(const Entry& e) {
    std::string out = std::string(1, e.type) + " mode " + std::to_string(e.mode) + " owner " + std::to_string(e.owner) +
                      ":" + std::to_string(e.group) + " mtime " + std::to_string(e.mtimeSeconds) + "." +
                      std::to_string(e.mtimeNanoseconds) + " size " + std::to_string(e.contents.size()) + " attrs";
    for (const auto& [name, value] : e.attributes) out += " " + name;
    return out;
  }

  // The differences, one per line, for failure messages.
  std::string differencesFrom(const TreeSnapshot& other) const {
    std::string out;
    for (const auto& [path, entry] : entries) {
      auto it = other.entries.find(path);
      if (it == other.entries.end()) out += "only left: " + path + "\n";
      else if (!(it->second == entry)) out += "differs: " + path + " " + describe(entry) + " / " + describe(it->second) + "\n";
    }
    for (const auto& [path, entry] : other.entries)
      if (!entries.count(path)) out += "only right: " + path + "\n";
    return out;
  }
};

inline TreeSnapshot::Entry snapshotEntry(const std::string& path) {
  TreeSnapshot::Entry entry;
  struct stat st = lstatOf(path);
  entry.mode = st.st_mode & 07777;
  entry.owner = st.st_uid;
  entry.group = st.st_gid;
  entry.mtimeSeconds = st.st_mtim.tv_sec;
  entry.mtimeNanoseconds = st.st_mtim.tv_nsec;
  if (S_ISREG(st.st_mode)) {
    entry.type = 'f';
    entry.contents = readFile(path);
  } else if (S_ISDIR(st.st_mode)) {
    entry.type = 'd';
  } else if (S_ISLNK(st.st_mode)) {
    entry.type = 'l';
    entry.mode = 0;
    entry.contents = std::filesystem::read_symlink(path).string();
  }
  char names[8192];
  ssize_t n = ::llistxattr(path.c_str(), names, sizeof names);
  for (ssize_t start = 0; start < n; start += static_cast<ssize_t>(std::strlen(names + start)) + 1) {
    std::string name = names + start;
    char value[8192];
    ssize_t length = ::lgetxattr(path.c_str(), name.c_str(), value, sizeof value);
    entry.attributes[name] = std::string(value, length > 0 ? static_cast<size_t>(length) : 0);
  }
  return entry;
}

inline TreeSnapshot snapshotTree(const std::string& root) {
  TreeSnapshot snapshot;
  if (!exists(root)) return snapshot;
  snapshot.entries["."] = snapshotEntry(root);
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec); it != std::filesystem::recursive_directory_iterator();
       it.increment(ec))
    snapshot.entries[it->path().lexically_relative(root).string()] = snapshotEntry(it->path());
  return snapshot;
}

// Runs body in a child process; returns its wait status. The child ends with body's
// result as exit status and never returns into the test framework.
inline int runInChild(const std::function<int()>& body) {
  pid_t pid = ::fork();
  if (pid == 0) {
    int result = 1;
    result = body();
    ::_exit(result);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

inline bool becomeNobody() {
  return ::setgroups(0, nullptr) == 0 && ::setgid(kNoGroup) == 0 && ::setuid(kNobody) == 0;
}

inline void makeFifo(const std::string& path) { ::mkfifo(path.c_str(), 0644); }

inline void makeSocketFile(const std::string& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::close(fd);
}

}  // namespace vantor::testing
