#include "support/FakePrivilegeRunner.h"

#include <unistd.h>

#include "platform/ChildProcess.h"

namespace vantor::test {

using platform::OSStatus;

OSStatus FakePrivilegeRunner::obtainRight(bool /*interactionAllowed*/) {
  std::lock_guard lock(mutex_);
  ++rightRequests_;
  return rightStatus;
}

OSStatus FakePrivilegeRunner::execute(const std::string& pathToTool, const std::vector<std::string>& arguments,
                                      std::unique_ptr<platform::ChildProcess>* child) {
  std::vector<std::string> argv{pathToTool};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  {
    std::lock_guard lock(mutex_);
    executions_.push_back(argv);
  }
  if (executeStatus != platform::errAuthorizationSuccess) return executeStatus;
  platform::ProcessOptions options;
  options.inheritStderr = true;
  options.environment.emplace_back("PKEXEC_UID", std::to_string(invokingUid.value_or(::getuid())));
  std::string error;
  *child = platform::ChildProcess::spawn(argv, options, &error);
  return *child ? platform::errAuthorizationSuccess : platform::errAuthorizationToolExecuteFailure;
}

int FakePrivilegeRunner::rightRequests() const {
  std::lock_guard lock(mutex_);
  return rightRequests_;
}

std::vector<std::vector<std::string>> FakePrivilegeRunner::executions() const {
  std::lock_guard lock(mutex_);
  return executions_;
}

ScopedPrivilegeRunner::ScopedPrivilegeRunner(std::unique_ptr<platform::PrivilegeRunner> runner)
    : previous_(platform::PrivilegeRunner::setShared(std::move(runner))) {}

ScopedPrivilegeRunner::~ScopedPrivilegeRunner() { platform::PrivilegeRunner::setShared(std::move(previous_)); }

}  // namespace vantor::test
