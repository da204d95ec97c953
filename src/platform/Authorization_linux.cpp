#include <cstdio>

#include "platform/Authorization.h"
#include "platform/Bundle.h"
#include "platform/ChildProcess.h"

namespace vantor::platform {
namespace {

constexpr const char* kToolResource = "installHelperTool";

}  // namespace

OSStatus PkexecPrivilegeRunner::statusForPkexecExit(int exitStatus, const std::string& output) {
  switch (exitStatus) {
    case 0:
      return errAuthorizationSuccess;
    case 126:
      return errAuthorizationCanceled;
    case 127:
      // pkexec's words when the polkit daemon or the system bus is missing.
      if (output.find("Error getting authority") != std::string::npos) return errAuthorizationInternal;
      return errAuthorizationDenied;
    default:
      return errAuthorizationInternal;
  }
}

OSStatus PkexecPrivilegeRunner::obtainRight(bool interactionAllowed) {
  auto pkexec = findExecutable("pkexec");
  auto tool = toolPath_ ? toolPath_ : Bundle::main().pathForResource(kToolResource);
  // Without pkexec or the tool there is nobody to ask; the execution that follows fails
  // to start and says so, which is the truthful ending.
  if (!pkexec || !tool || !isExecutableFile(*tool)) return errAuthorizationSuccess;
  // pkexec always may ask; there is no way to ask it for a silent check only.
  if (!interactionAllowed) return errAuthorizationInteractionNotAllowed;

  RunOptions options;
  options.timeoutSeconds = kPromptLimitSeconds;
  options.newProcessGroup = false;  // its text prompt reads the terminal
  ProcessResult result = runProcess({*pkexec, *tool, kAuthorizeArgument}, options);
  if (!result.launched) {
    std::fprintf(stderr, "Error: could not start %s: %s\n", pkexec->c_str(), result.launchError.c_str());
    return errAuthorizationSuccess;
  }
  // A prompt left unanswered until the limit counts as dismissed.
  if (result.timedOut || result.signaled) return errAuthorizationCanceled;
  OSStatus status = statusForPkexecExit(result.status, result.output);
  if (status == errAuthorizationInternal)
    std::fprintf(stderr, "Error: %s %s %s exited with %d: %s\n", pkexec->c_str(), tool->c_str(), kAuthorizeArgument,
                 result.status, result.output.c_str());
  return status;
}

OSStatus PkexecPrivilegeRunner::execute(const std::string& pathToTool, const std::vector<std::string>& arguments,
                                        std::unique_ptr<ChildProcess>* child) {
  auto pkexec = findExecutable("pkexec");
  if (!pkexec) {
    std::fprintf(stderr, "Error: pkexec is not installed; can not run %s as the administrator\n", pathToTool.c_str());
    return errAuthorizationToolExecuteFailure;
  }
  std::vector<std::string> argv{*pkexec, pathToTool};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  ProcessOptions options;
  options.inheritStderr = true;
  options.newProcessGroup = false;  // should the kept right have run out, pkexec asks again
  std::string error;
  *child = ChildProcess::spawn(argv, options, &error);
  if (!*child) {
    std::fprintf(stderr, "Error: could not start %s: %s\n", pkexec->c_str(), error.c_str());
    return errAuthorizationToolExecuteFailure;
  }
  return errAuthorizationSuccess;
}

}  // namespace vantor::platform
