// The whole privileged road for an unprivileged user: a process running as nobody asks
// for the administrator right and runs installHelperTool through "pkexec" (a
// set-user-ID root stand-in found on PATH), which installs into a root-owned folder.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/Authorization.h"
#include "support/BundleFixture.h"
#include "support/TestSupport.h"

namespace vantor::platform {
namespace {

using namespace vantor::testing;

struct SetuidRoad {
  TempFolder temp;
  std::string bin = temp / "bin";
  std::string tool = temp / "share/installHelperTool";
  std::string scratch = temp / "scratch";
  std::string stand = temp / "stand";
  std::string target = temp / "target";
  std::string log = temp / "pkexec.log";

  SetuidRoad() {
    makeFolder(bin);
    makeFolder(temp / "share");
    std::filesystem::copy_file(test::binaryPath("vantor-stand-in-pkexec"), bin + "/pkexec");
    ::chmod((bin + "/pkexec").c_str(), 04755);
    std::filesystem::copy_file(test::binaryPath("installHelperTool"), tool);
    ::chmod(tool.c_str(), 0755);
    makeSampleBundle(scratch + "/Foo.app");
    makeFolder(stand + "/App.app");
    chownTree(scratch, kNobody, kNoGroup);
    chownTree(stand, kNobody, kNoGroup);
    ::chmod(scratch.c_str(), 0700);
    ::chmod(stand.c_str(), 0700);
    makeFolder(target, 0755);
    writeFile(log, "", 0666);
  }

  // Runs the road as nobody in a child process; its exit status tells the outcome:
  // 0 installed, 10 + n when the n-th step failed.
  int runAsNobody(const char* pkexecExit) {
    int status = runInChild([&] {
      if (!becomeNobody()) return 2;
      ::setenv("PATH", bin.c_str(), 1);
      ::setenv("VANTOR_TEST_PKEXEC_LOG", log.c_str(), 1);
      if (pkexecExit != nullptr) ::setenv("VANTOR_TEST_PKEXEC_EXIT", pkexecExit, 1);
      PrivilegeRunner::setShared(std::make_unique<PkexecPrivilegeRunner>(tool));
      AuthorizationRef ref = nullptr;
      if (AuthorizationCreate(nullptr, nullptr, kAuthorizationFlagDefaults, &ref) != errAuthorizationSuccess) return 11;
      AuthorizationItem right{kAuthorizationRightExecute, 0, nullptr, 0};
      AuthorizationRights rights{1, &right};
      OSStatus s = AuthorizationCopyRights(ref, &rights, nullptr, 19, nullptr);
      if (s == errAuthorizationCanceled) return 32;
      if (s == errAuthorizationDenied) return 33;
      if (s != errAuthorizationSuccess) return 12;
      std::unique_ptr<AuthorizationPipe> pipe;
      if (AuthorizationExecuteWithPrivileges(ref, tool, kAuthorizationFlagDefaults,
                                             {stand + "/App.app", target + "/Foo.app", scratch + "/Foo.app"},
                                             &pipe) != errAuthorizationSuccess)
        return 13;
      std::string output;
      char buffer[1024];
      for (ssize_t n; (n = pipe->read(buffer, sizeof buffer)) > 0;) output.append(buffer, static_cast<size_t>(n));
      pipe->close();
      AuthorizationFree(ref, kAuthorizationFlagDestroyRights);
      return output.find("<100>\nSUCCESS\n") != std::string::npos ? 0 : 14;
    });
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

bool setuidWorksHere(const SetuidRoad& road) {
  int status = runInChild([&] {
    if (!becomeNobody()) return 2;
    ::execl((road.bin + "/pkexec").c_str(), "pkexec", "/usr/bin/test", "-w", "/", nullptr);
    return 3;
  });
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(PrivilegedRoadTest, UnprivilegedUserInstallsIntoRootFolderThroughPkexec) {
  SetuidRoad road;
  if (!setuidWorksHere(road)) GTEST_SKIP() << "set-user-ID programs do not gain root here";
  EXPECT_EQ(road.runAsNobody(nullptr), 0);
  EXPECT_TRUE(exists(road.target + "/Foo.app/Contents/MacOS/App"));
  EXPECT_FALSE(exists(road.scratch + "/Foo.app"));
  // Once for the right, once for the install.
  EXPECT_EQ(readFile(road.log), road.tool + " --authorize\n" + road.tool + " " + road.stand + "/App.app " +
                                    road.target + "/Foo.app " + road.scratch + "/Foo.app\n");
}

TEST(PrivilegedRoadTest, DismissedAndRefusedPromptsEndBeforeTheTool) {
  SetuidRoad road;
  if (!setuidWorksHere(road)) GTEST_SKIP() << "set-user-ID programs do not gain root here";
  EXPECT_EQ(road.runAsNobody("126"), 32);
  EXPECT_EQ(road.runAsNobody("127"), 33);
  EXPECT_EQ(entriesOf(road.target), std::vector<std::string>{});
  EXPECT_TRUE(exists(road.scratch + "/Foo.app"));
  EXPECT_EQ(readFile(road.log), road.tool + " --authorize\n" + road.tool + " --authorize\n");
}

}  // namespace
}  // namespace vantor::platform
