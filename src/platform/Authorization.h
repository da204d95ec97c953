#pragma once
// Administrator rights for running one tool as root, shaped like the authorization
// calls the pipeline is written against: create a reference, obtain the administrator
// right (this is where the user is asked), execute the tool with that right and read its
// output through a pipe, free the reference.
//
// On Linux the right is granted by pkexec and a polkit action of our own that requires
// administrator authentication and keeps it for a short while for the asking process:
// obtaining the right runs the tool through pkexec with the single argument
// "--authorize" (the tool does nothing then), so the prompt happens there, and the
// execution that follows runs through pkexec again without a second prompt. How the two
// steps are carried out is a PrivilegeRunner; tests install one of their own.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantor::platform {

class ChildProcess;

using OSStatus = int32_t;
using AuthorizationFlags = uint32_t;

inline constexpr OSStatus errAuthorizationSuccess = 0;
inline constexpr OSStatus errAuthorizationInvalidSet = -60001;
inline constexpr OSStatus errAuthorizationInvalidRef = -60002;
inline constexpr OSStatus errAuthorizationInvalidPointer = -60004;
inline constexpr OSStatus errAuthorizationDenied = -60005;
inline constexpr OSStatus errAuthorizationCanceled = -60006;
inline constexpr OSStatus errAuthorizationInteractionNotAllowed = -60007;
inline constexpr OSStatus errAuthorizationInternal = -60008;
inline constexpr OSStatus errAuthorizationInvalidFlags = -60011;
// The tool could not be started: pkexec or the tool itself is missing or not executable.
inline constexpr OSStatus errAuthorizationToolExecuteFailure = -60031;
inline constexpr OSStatus errAuthorizationToolEnvironmentError = -60032;

inline constexpr AuthorizationFlags kAuthorizationFlagDefaults = 0;
inline constexpr AuthorizationFlags kAuthorizationFlagInteractionAllowed = 1 << 0;
inline constexpr AuthorizationFlags kAuthorizationFlagExtendRights = 1 << 1;
inline constexpr AuthorizationFlags kAuthorizationFlagPartialRights = 1 << 2;
inline constexpr AuthorizationFlags kAuthorizationFlagDestroyRights = 1 << 3;
inline constexpr AuthorizationFlags kAuthorizationFlagPreAuthorize = 1 << 4;

// The one right there is: running a tool as the administrator.
inline constexpr const char* kAuthorizationRightExecute = "system.privilege.admin";

struct AuthorizationItem {
  const char* name = nullptr;
  size_t valueLength = 0;
  void* value = nullptr;
  uint32_t flags = 0;
};

struct AuthorizationItemSet {
  uint32_t count = 0;
  AuthorizationItem* items = nullptr;
};
using AuthorizationRights = AuthorizationItemSet;
using AuthorizationEnvironment = AuthorizationItemSet;

struct AuthorizationOpaqueRef;
using AuthorizationRef = AuthorizationOpaqueRef*;

// The tool started by AuthorizationExecuteWithPrivileges: its standard output as a pipe
// (its standard error is the caller's), and the process. Destroying it closes the pipe
// and reaps the tool.
class AuthorizationPipe {
 public:
  explicit AuthorizationPipe(std::unique_ptr<ChildProcess> child);
  ~AuthorizationPipe();
  AuthorizationPipe(const AuthorizationPipe&) = delete;
  AuthorizationPipe& operator=(const AuthorizationPipe&) = delete;

  // Reads at most `size` bytes of the tool's output: the count, 0 at the end of the
  // output, -1 on a read error or when the tool wrote nothing for kSilenceLimitSeconds.
  ssize_t read(void* buffer, size_t size);
  // Closes the pipe and waits for the tool to end (at most kExitLimitSeconds; a tool
  // still running then is left to finish on its own). Returns the exit status, or -1 when
  // it is unknown. Further calls return the same.
  int close();

  pid_t pid() const;

  static constexpr int kSilenceLimitSeconds = 600;
  static constexpr int kExitLimitSeconds = 30;

 private:
  std::unique_ptr<ChildProcess> child_;
  bool closed_ = false;
  int exitStatus_ = -1;
};

// Makes a reference. With rights and kAuthorizationFlagExtendRights it also obtains them
// (see AuthorizationCopyRights).
OSStatus AuthorizationCreate(const AuthorizationRights* rights, const AuthorizationEnvironment* environment,
                             AuthorizationFlags flags, AuthorizationRef* authorization);

// Obtains the rights for the reference: only kAuthorizationRightExecute is known
// (errAuthorizationInvalidSet otherwise). Without kAuthorizationFlagExtendRights it
// answers whether the reference holds them already; without
// kAuthorizationFlagInteractionAllowed the user is never asked
// (errAuthorizationInteractionNotAllowed when that would be needed). The user's choices
// come back as errAuthorizationCanceled (dismissed) and errAuthorizationDenied (not an
// administrator, or wrong credentials). authorizedRights, when given, receives nullptr:
// no copy is made.
OSStatus AuthorizationCopyRights(AuthorizationRef authorization, const AuthorizationRights* rights,
                                 const AuthorizationEnvironment* environment, AuthorizationFlags flags,
                                 AuthorizationRights** authorizedRights);

// Starts pathToTool as root with the arguments (absolute path, no shell). On success
// *communicationsPipe (when given) is the running tool; without it the tool's output goes
// to /dev/null and the tool is reaped in the background.
// errAuthorizationToolExecuteFailure: the tool or pkexec is missing or could not start.
OSStatus AuthorizationExecuteWithPrivileges(AuthorizationRef authorization, const std::string& pathToTool,
                                            AuthorizationFlags options, const std::vector<std::string>& arguments,
                                            std::unique_ptr<AuthorizationPipe>* communicationsPipe);

// Frees the reference; kAuthorizationFlagDestroyRights also drops the rights it holds.
OSStatus AuthorizationFree(AuthorizationRef authorization, AuthorizationFlags flags);

// Carries out the privileged steps. The process has one: pkexec unless a test installed
// another.
class PrivilegeRunner {
 public:
  virtual ~PrivilegeRunner() = default;
  // Obtains the administrator right, asking the user when interactionAllowed.
  virtual OSStatus obtainRight(bool interactionAllowed) = 0;
  // Starts the tool as root: its standard output on the child's output pipe, its
  // standard error the caller's (diagnostics stay out of the tool's protocol), standard
  // input /dev/null.
  virtual OSStatus execute(const std::string& pathToTool, const std::vector<std::string>& arguments,
                           std::unique_ptr<ChildProcess>* child) = 0;

  static PrivilegeRunner& shared();
  // Replaces the process's runner (tests). Returns the previous one.
  static std::unique_ptr<PrivilegeRunner> setShared(std::unique_ptr<PrivilegeRunner> runner);
};

// pkexec (found on PATH). The right is obtained by running the tool (the main bundle's
// resource "installHelperTool" unless another is given) with kAuthorizeArgument.
class PkexecPrivilegeRunner : public PrivilegeRunner {
 public:
  explicit PkexecPrivilegeRunner(std::optional<std::string> toolPath = std::nullopt) : toolPath_(std::move(toolPath)) {}
  OSStatus obtainRight(bool interactionAllowed) override;
  OSStatus execute(const std::string& pathToTool, const std::vector<std::string>& arguments,
                   std::unique_ptr<ChildProcess>* child) override;

  // What pkexec's exit status means for the right: 0 granted, 126 (the user dismissed
  // the prompt) cancelled, 127 (not authorised) denied, except when its output says that
  // polkit could not be reached at all: nobody was asked, errAuthorizationInternal. Any
  // other status is the tool's own and means the right could not be checked.
  static OSStatus statusForPkexecExit(int exitStatus, const std::string& output = {});

  // The tool's argument that makes it exit at once (used to obtain the right).
  static constexpr const char* kAuthorizeArgument = "--authorize";
  // How long the user may take to answer the prompt.
  static constexpr int kPromptLimitSeconds = 600;

 private:
  std::optional<std::string> toolPath_;
};

}  // namespace vantor::platform
