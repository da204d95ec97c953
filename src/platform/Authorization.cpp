#include "platform/Authorization.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/ChildProcess.h"

namespace vantor::platform {

struct AuthorizationOpaqueRef {
  bool holdsRight = false;
};

namespace {

std::mutex runnerMutex;
std::unique_ptr<PrivilegeRunner>& runnerHolder() {
  static auto* holder = new std::unique_ptr<PrivilegeRunner>();
  return *holder;
}

// A root process cannot be killed from here; waiting for it on a thread of its own keeps
// the caller free and leaves no zombie behind.
void reapInBackground(std::unique_ptr<ChildProcess> child) {
  std::thread([child = std::move(child)]() mutable {
    child->wait();
    child.reset();
  }).detach();
}

OSStatus checkRights(const AuthorizationRights* rights) {
  if (rights == nullptr) return errAuthorizationSuccess;
  if (rights->count > 0 && rights->items == nullptr) return errAuthorizationInvalidPointer;
  for (uint32_t i = 0; i < rights->count; ++i) {
    const char* name = rights->items[i].name;
    if (name == nullptr || std::strcmp(name, kAuthorizationRightExecute) != 0) return errAuthorizationInvalidSet;
  }
  return errAuthorizationSuccess;
}

}  // namespace

AuthorizationPipe::AuthorizationPipe(std::unique_ptr<ChildProcess> child) : child_(std::move(child)) {}

AuthorizationPipe::~AuthorizationPipe() { close(); }

pid_t AuthorizationPipe::pid() const { return child_ ? child_->pid() : -1; }

ssize_t AuthorizationPipe::read(void* buffer, size_t size) {
  if (closed_ || !child_ || child_->outputFd() < 0) return -1;
  int fd = child_->outputFd();
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    int r = ::poll(&p, 1, kSilenceLimitSeconds * 1000);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return -1;
    ssize_t n = ::read(fd, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

int AuthorizationPipe::close() {
  if (closed_) return exitStatus_;
  closed_ = true;
  if (!child_) return exitStatus_;
  child_->closeOutput();
  if (child_->waitFor(kExitLimitSeconds)) {
    exitStatus_ = child_->exited() ? child_->exitStatus() : -1;
    child_.reset();
  } else {
    reapInBackground(std::move(child_));
  }
  return exitStatus_;
}

OSStatus AuthorizationCreate(const AuthorizationRights* rights, const AuthorizationEnvironment* /*environment*/,
                             AuthorizationFlags flags, AuthorizationRef* authorization) {
  if (authorization == nullptr) return errAuthorizationInvalidPointer;
  *authorization = nullptr;
  if (OSStatus s = checkRights(rights); s != errAuthorizationSuccess) return s;
  auto* ref = new AuthorizationOpaqueRef();
  if (rights != nullptr && rights->count > 0 && (flags & kAuthorizationFlagExtendRights) != 0) {
    OSStatus s = AuthorizationCopyRights(ref, rights, nullptr, flags, nullptr);
    if (s != errAuthorizationSuccess) {
      delete ref;
      return s;
    }
  }
  *authorization = ref;
  return errAuthorizationSuccess;
}

OSStatus AuthorizationCopyRights(AuthorizationRef authorization, const AuthorizationRights* rights,
                                 const AuthorizationEnvironment* /*environment*/, AuthorizationFlags flags,
                                 AuthorizationRights** authorizedRights) {
  if (authorizedRights != nullptr) *authorizedRights = nullptr;
  if (authorization == nullptr) return errAuthorizationInvalidRef;
  if (OSStatus s = checkRights(rights); s != errAuthorizationSuccess) return s;
  if (rights == nullptr || rights->count == 0 || authorization->holdsRight) return errAuthorizationSuccess;
  if ((flags & kAuthorizationFlagExtendRights) == 0) return errAuthorizationDenied;
  OSStatus s = PrivilegeRunner::shared().obtainRight((flags & kAuthorizationFlagInteractionAllowed) != 0);
  if (s == errAuthorizationSuccess) authorization->holdsRight = true;
  return s;
}

OSStatus AuthorizationExecuteWithPrivileges(AuthorizationRef authorization, const std::string& pathToTool,
                                            AuthorizationFlags options, const std::vector<std::string>& arguments,
                                            std::unique_ptr<AuthorizationPipe>* communicationsPipe) {
  if (communicationsPipe != nullptr) communicationsPipe->reset();
  if (authorization == nullptr) return errAuthorizationInvalidRef;
  if (options != kAuthorizationFlagDefaults) return errAuthorizationInvalidFlags;
  if (pathToTool.empty() || pathToTool.front() != '/' || !isExecutableFile(pathToTool))
    return errAuthorizationToolExecuteFailure;
  std::unique_ptr<ChildProcess> child;
  OSStatus s = PrivilegeRunner::shared().execute(pathToTool, arguments, &child);
  if (s != errAuthorizationSuccess) return s;
  if (!child) return errAuthorizationToolExecuteFailure;
  if (communicationsPipe != nullptr) {
    *communicationsPipe = std::make_unique<AuthorizationPipe>(std::move(child));
  } else {
    child->closeOutput();
    reapInBackground(std::move(child));
  }
  return errAuthorizationSuccess;
}

OSStatus AuthorizationFree(AuthorizationRef authorization, AuthorizationFlags flags) {
  if (authorization == nullptr) return errAuthorizationInvalidRef;
  if ((flags & ~kAuthorizationFlagDestroyRights) != 0) return errAuthorizationInvalidFlags;
  // The right granted by the prompt stays with the asking process for a short while
  // whatever we do; destroying it here only forgets it for this reference.
  delete authorization;
  return errAuthorizationSuccess;
}

PrivilegeRunner& PrivilegeRunner::shared() {
  std::lock_guard lock(runnerMutex);
  auto& current = runnerHolder();
  if (!current) current = std::make_unique<PkexecPrivilegeRunner>();
  return *current;
}

std::unique_ptr<PrivilegeRunner> PrivilegeRunner::setShared(std::unique_ptr<PrivilegeRunner> runner) {
  std::lock_guard lock(runnerMutex);
  auto previous = std::move(runnerHolder());
  runnerHolder() = std::move(runner);
  return previous;
}

}  // namespace vantor::platform
