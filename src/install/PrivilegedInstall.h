#pragma once
// The install that the privileged tool performs as root on behalf of a user: the same
// replacement as ZRSUPlainInstaller (AppReplacement), after checks that trust nothing
// the user handed over, and over folders held by descriptor (SecureDirectory), so that
// a path component renamed or swapped for a symbolic link after the checks cannot
// redirect a move, a removal or a change of mode, owner or time.
//
// What is accepted: three absolute paths without "." or ".." components and without
// symbolic links anywhere; the found app and the bundle it replaces (the empty
// stand-in) are folders named *.app inside a folder that belongs to the invoking user,
// everything from that folder down theirs as well, every item of the found app
// included; the final path's parent is an existing folder, and nothing, not even a
// dangling link, is at the final path, whose name ends in ".app".

#include <sys/types.h>

#include <functional>
#include <string>

namespace vantor::install {

// The tool's error codes ("!<code>?" in its output).
enum class PrivilegedInstallCode : int {
  kSuccess = 0,
  kUsage = 1,               // wrong arguments
  kUnknownInvoker = 2,      // PKEXEC_UID is not a user id
  kRelativePath = 3,        // a path is not absolute
  kDotComponent = 4,        // a path has a "." or ".." component
  kFinalPathExists = 5,     // something (a dangling link too) is at the final path
  kFinalParentMissing = 6,  // the final path's parent is not an existing folder
  kNotAnApp = 7,            // the found app, the stand-in or the final name is not a folder named *.app
  kNotTheUsersOwn = 8,      // not inside a folder of the invoking user, or holds another owner's item
  kSymbolicLink = 9,        // a path component is a symbolic link
  kReplacementFailed = 10,  // the replacement itself failed (rolled back)
};

class PrivilegedInstall {
 public:
  PrivilegedInstall(uid_t invokingUser, std::string fakeAppPath, std::string finalPath, std::string foundAppPath);

  // Checks, then replaces; progress receives 0.1 ... 1.0. *reason (when given) says why
  // it failed.
  PrivilegedInstallCode run(const std::function<void(double)>& progress, std::string* reason);

 private:
  uid_t invoker_;
  std::string fake_;
  std::string final_;
  std::string found_;
};

}  // namespace vantor::install
