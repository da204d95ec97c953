#pragma once
// A privilege runner for tests: it grants or refuses the administrator right with a
// chosen status, and runs the tool directly with the rights of the test process (root in
// the test environment), the way pkexec does after a granted prompt: PKEXEC_UID names the
// invoking user. Every request is recorded. Install it with ScopedPrivilegeRunner.

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Authorization.h"

namespace vantor::test {

class FakePrivilegeRunner : public platform::PrivilegeRunner {
 public:
  // The answer to the prompt, e.g. errAuthorizationCanceled.
  platform::OSStatus rightStatus = platform::errAuthorizationSuccess;
  // Non-zero: the tool is not started and this is returned.
  platform::OSStatus executeStatus = platform::errAuthorizationSuccess;
  // The uid the tool sees as its invoker; the test process's real uid when not set.
  std::optional<uid_t> invokingUid;

  platform::OSStatus obtainRight(bool interactionAllowed) override;
  platform::OSStatus execute(const std::string& pathToTool, const std::vector<std::string>& arguments,
                             std::unique_ptr<platform::ChildProcess>* child) override;

  int rightRequests() const;
  // Each started (or refused) command line, tool first.
  std::vector<std::vector<std::string>> executions() const;

 private:
  mutable std::mutex mutex_;
  int rightRequests_ = 0;
  std::vector<std::vector<std::string>> executions_;
};

// Installs a runner for the lifetime of the object and puts the previous one back.
class ScopedPrivilegeRunner {
 public:
  explicit ScopedPrivilegeRunner(std::unique_ptr<platform::PrivilegeRunner> runner);
  ~ScopedPrivilegeRunner();
  ScopedPrivilegeRunner(const ScopedPrivilegeRunner&) = delete;
  ScopedPrivilegeRunner& operator=(const ScopedPrivilegeRunner&) = delete;

 private:
  std::unique_ptr<platform::PrivilegeRunner> previous_;
};

}  // namespace vantor::test
