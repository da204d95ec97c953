#include "platform/Authorization.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/FakePrivilegeRunner.h"
#include "support/ScopedEnvironmentVariable.h"
#include "support/TestSupport.h"

namespace vantor::platform {
namespace {

using test::ScopedEnvironmentVariable;
using test::TempFolder;

void writeScript(const std::string& path, const std::string& body) {
  test::writeFile(path, "#!/bin/sh\n" + body);
  ::chmod(path.c_str(), 0755);
}

AuthorizationItem adminRight{kAuthorizationRightExecute, 0, nullptr, 0};
AuthorizationRights adminRights{1, &adminRight};
constexpr AuthorizationFlags kAskFlags =
    kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights | kAuthorizationFlagPreAuthorize;

// A folder holding a stand-in pkexec (first on PATH) and a tool. The stand-in records its
// command line and ends with $FAKE_PKEXEC_EXIT when that is set; otherwise it runs the
// command, as pkexec does after a granted prompt.
struct PkexecStandIn {
  TempFolder folder;
  std::string tool = folder / "tool";
  ScopedEnvironmentVariable path{"PATH", folder.path() + "/bin:/usr/bin:/bin"};
  PkexecStandIn() {
    ::mkdir((folder / "bin").c_str(), 0755);
    writeScript(folder / "bin/pkexec",
                "echo \"$@\" >> '" + folder / "calls" + "'\n"
                "if [ -n \"$FAKE_PKEXEC_EXIT\" ]; then echo \"$FAKE_PKEXEC_SAYS\" >&2; exit \"$FAKE_PKEXEC_EXIT\"; fi\n"
                "PKEXEC_UID=$(id -u) exec \"$@\"\n");
    writeScript(tool, "[ \"$1\" = --authorize ] && exit 0\necho \"<50>\"; echo \"args $*\"; echo SUCCESS\n");
  }
  std::string calls() const { return test::readFile(folder / "calls"); }
};

TEST(AuthorizationTest, PkexecExitBecomesTheRightsStatus) {
  struct Case {
    const char* exit;
    const char* says;
    OSStatus status;
  } cases[] = {
      {"126", "", errAuthorizationCanceled},  // the user dismissed the prompt
      {"127", "Error executing command as another user: Not authorized", errAuthorizationDenied},
      // No polkit daemon: nobody was asked, so nothing was refused either.
      {"127", "Error getting authority: Error initializing authority: Could not connect", errAuthorizationInternal},
      {"1", "", errAuthorizationInternal},  // anything else is not the user's answer
      {"", "", errAuthorizationSuccess},    // granted: the tool ran with --authorize
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.exit) + " " + c.says);
    PkexecStandIn pkexec;
    ScopedEnvironmentVariable exit("FAKE_PKEXEC_EXIT", std::string(c.exit));
    ScopedEnvironmentVariable says("FAKE_PKEXEC_SAYS", std::string(c.says));
    test::ScopedPrivilegeRunner runner(std::make_unique<PkexecPrivilegeRunner>(pkexec.tool));
    AuthorizationRef ref = nullptr;
    ASSERT_EQ(AuthorizationCreate(nullptr, nullptr, kAuthorizationFlagDefaults, &ref), errAuthorizationSuccess);
    EXPECT_EQ(AuthorizationCopyRights(ref, &adminRights, nullptr, kAskFlags, nullptr), c.status);
    EXPECT_EQ(pkexec.calls(), pkexec.tool + " --authorize\n");
    EXPECT_EQ(AuthorizationFree(ref, kAuthorizationFlagDestroyRights), errAuthorizationSuccess);
  }
}

TEST(AuthorizationTest, ObtainedRightIsNotAskedForAgain) {
  PkexecStandIn pkexec;
  test::ScopedPrivilegeRunner runner(std::make_unique<PkexecPrivilegeRunner>(pkexec.tool));
  AuthorizationRef ref = nullptr;
  ASSERT_EQ(AuthorizationCreate(&adminRights, nullptr, kAskFlags, &ref), errAuthorizationSuccess);
  EXPECT_EQ(AuthorizationCopyRights(ref, &adminRights, nullptr, kAskFlags, nullptr), errAuthorizationSuccess);
  EXPECT_EQ(pkexec.calls(), pkexec.tool + " --authorize\n");
  AuthorizationFree(ref, kAuthorizationFlagDestroyRights);
}

TEST(AuthorizationTest, ToolOutputArrivesThroughThePipeInBoundedChunks) {
  PkexecStandIn pkexec;
  // Enough output for several chunks, so a reader that asks for 1024 bytes gets no more.
  writeScript(pkexec.tool,
              "i=0; while [ $i -lt 300 ]; do echo \"<$((i % 100))> progress line\"; i=$((i+1)); done\n"
              "echo \"diagnostic !9? <x>\" >&2\n"
              "echo \"uid $PKEXEC_UID args $*\"; echo SUCCESS; exit 3\n");
  test::ScopedPrivilegeRunner runner(std::make_unique<PkexecPrivilegeRunner>(pkexec.tool));
  AuthorizationRef ref = nullptr;
  ASSERT_EQ(AuthorizationCreate(nullptr, nullptr, kAuthorizationFlagDefaults, &ref), errAuthorizationSuccess);
  std::unique_ptr<AuthorizationPipe> pipe;
  ASSERT_EQ(AuthorizationExecuteWithPrivileges(ref, pkexec.tool, kAuthorizationFlagDefaults, {"/a b", "/c"}, &pipe),
            errAuthorizationSuccess);
  ASSERT_TRUE(pipe);
  std::string output;
  char buffer[4096];
  ssize_t n;
  while ((n = pipe->read(buffer, 1024)) > 0) {
    EXPECT_LE(n, 1024);
    output.append(buffer, static_cast<size_t>(n));
  }
  EXPECT_EQ(n, 0);
  EXPECT_EQ(pipe->close(), 3);
  EXPECT_EQ(pipe->close(), 3);
  EXPECT_NE(output.find("uid " + std::to_string(::getuid()) + " args /a b /c\nSUCCESS\n"), std::string::npos);
  EXPECT_GT(output.size(), 4000u);
  EXPECT_EQ(output.find("diagnostic"), std::string::npos) << "standard error stays out of the protocol";
  EXPECT_EQ(pkexec.calls(), pkexec.tool + " /a b /c\n");
  AuthorizationFree(ref, kAuthorizationFlagDestroyRights);
}

TEST(AuthorizationTest, MissingPkexecOrToolFailsTheExecution) {
  PkexecStandIn pkexec;
  AuthorizationRef ref = nullptr;
  ASSERT_EQ(AuthorizationCreate(nullptr, nullptr, kAuthorizationFlagDefaults, &ref), errAuthorizationSuccess);
  std::unique_ptr<AuthorizationPipe> pipe;
  {
    // Nobody to ask: the right is not refused, the execution reports the missing program.
    test::ScopedPrivilegeRunner runner(std::make_unique<PkexecPrivilegeRunner>(pkexec.tool));
    ScopedEnvironmentVariable noPkexec("PATH", pkexec.folder / "empty");
    EXPECT_EQ(AuthorizationCopyRights(ref, &adminRights, nullptr, kAskFlags, nullptr), errAuthorizationSuccess);
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, pkexec.tool, kAuthorizationFlagDefaults, {}, &pipe),
              errAuthorizationToolExecuteFailure);
  }
  test::ScopedPrivilegeRunner runner(std::make_unique<PkexecPrivilegeRunner>(pkexec.tool));
  for (const std::string& tool : {std::string(), pkexec.folder / "missing", std::string("tool")}) {
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, tool, kAuthorizationFlagDefaults, {}, &pipe),
              errAuthorizationToolExecuteFailure);
    EXPECT_FALSE(pipe);
  }
  EXPECT_EQ(pkexec.calls(), "") << "pkexec is never asked to run a tool that is not there";
  AuthorizationFree(ref, kAuthorizationFlagDestroyRights);
}

TEST(AuthorizationTest, BadArgumentsAreRefused) {
  AuthorizationItem other{"system.privilege.taskport", 0, nullptr, 0};
  AuthorizationRights otherRights{1, &other};
  AuthorizationRef ref = nullptr;
  EXPECT_EQ(AuthorizationCreate(&otherRights, nullptr, kAskFlags, &ref), errAuthorizationInvalidSet);
  EXPECT_EQ(ref, nullptr);
  EXPECT_EQ(AuthorizationCopyRights(nullptr, &adminRights, nullptr, kAskFlags, nullptr), errAuthorizationInvalidRef);
  EXPECT_EQ(AuthorizationFree(nullptr, kAuthorizationFlagDestroyRights), errAuthorizationInvalidRef);
  ASSERT_EQ(AuthorizationCreate(nullptr, nullptr, kAuthorizationFlagDefaults, &ref), errAuthorizationSuccess);
  EXPECT_EQ(AuthorizationCopyRights(ref, &otherRights, nullptr, kAskFlags, nullptr), errAuthorizationInvalidSet);
  EXPECT_EQ(AuthorizationFree(ref, 1 << 5), errAuthorizationInvalidFlags);
  EXPECT_EQ(AuthorizationFree(ref, kAuthorizationFlagDestroyRights), errAuthorizationSuccess);
}

TEST(AuthorizationTest, FakeRunnerAnswersWithChosenStatusesAndRunsTheToolDirectly) {
  PkexecStandIn pkexec;  // only for its tool; the fake never calls pkexec
  auto fake = std::make_unique<test::FakePrivilegeRunner>();
  auto* runner = fake.get();
  test::ScopedPrivilegeRunner scoped(std::move(fake));
  AuthorizationRef ref = nullptr;
  ASSERT_EQ(AuthorizationCreate(nullptr, nullptr, kAuthorizationFlagDefaults, &ref), errAuthorizationSuccess);
  runner->rightStatus = errAuthorizationDenied;
  EXPECT_EQ(AuthorizationCopyRights(ref, &adminRights, nullptr, kAskFlags, nullptr), errAuthorizationDenied);
  runner->rightStatus = errAuthorizationSuccess;
  EXPECT_EQ(AuthorizationCopyRights(ref, &adminRights, nullptr, kAskFlags, nullptr), errAuthorizationSuccess);
  EXPECT_EQ(runner->rightRequests(), 2);

  std::unique_ptr<AuthorizationPipe> pipe;
  runner->executeStatus = errAuthorizationToolExecuteFailure;
  EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, pkexec.tool, kAuthorizationFlagDefaults, {"x"}, &pipe),
            errAuthorizationToolExecuteFailure);
  runner->executeStatus = errAuthorizationSuccess;
  ASSERT_EQ(AuthorizationExecuteWithPrivileges(ref, pkexec.tool, kAuthorizationFlagDefaults, {"y"}, &pipe),
            errAuthorizationSuccess);
  char buffer[1024];
  std::string output;
  for (ssize_t n; (n = pipe->read(buffer, sizeof buffer)) > 0;) output.append(buffer, static_cast<size_t>(n));
  EXPECT_EQ(output, "<50>\nargs y\nSUCCESS\n");
  EXPECT_EQ(pipe->close(), 0);
  EXPECT_EQ(runner->executions(), (std::vector<std::vector<std::string>>{{pkexec.tool, "x"}, {pkexec.tool, "y"}}));
  EXPECT_EQ(pkexec.calls(), "");
  AuthorizationFree(ref, kAuthorizationFlagDestroyRights);
}

}  // namespace
}  // namespace vantor::platform
