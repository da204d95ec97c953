// Handing a downloaded installer to the system: an application bundle cannot run here,
// anything else goes to the desktop's default handler (xdg-open).

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/FrontEnd.h"
#include "platform/ScriptFrontEnd.h"
#include "platform/Workspace.h"
#include "support/ScopedEnvironmentVariable.h"
#include "support/TestSupport.h"

namespace vantor::platform {
namespace {

TEST(WorkspaceHandOffTest, ApplicationBundleLaunchReportsNoApplication) {
  test::TempFolder folder;
  DesktopWorkspace desktop;
  std::string error;
  EXPECT_FALSE(desktop.launchApplicationAtURL(folder / "Install Foo.app", &error));
  EXPECT_NE(error.find("Install Foo.app"), std::string::npos);

  setFrontEnd(std::make_unique<ScriptFrontEnd>(std::nullopt, folder / "transcript"));
  RecordingWorkspace recording;
  EXPECT_FALSE(recording.launchApplicationAtURL(folder / "Install Foo.app", nullptr));
  auto lines = test::readJsonLines(folder / "transcript");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]["action"], "launch");
  EXPECT_EQ(lines[0]["path"], folder / "Install Foo.app");
  setFrontEnd(nullptr);
}

TEST(WorkspaceHandOffTest, OtherInstallersGoToTheDefaultHandler) {
  test::TempFolder folder;
  ::mkdir((folder / "bin").c_str(), 0755);
  test::writeFile(folder / "bin/xdg-open", "#!/bin/sh\necho \"$@\" >> '" + folder / "opened" + "'\nexit $XDG_EXIT\n");
  ::chmod((folder / "bin/xdg-open").c_str(), 0755);
  test::ScopedEnvironmentVariable path("PATH", folder / "bin");
  DesktopWorkspace desktop;
  {
    test::ScopedEnvironmentVariable status("XDG_EXIT", std::string("0"));
    EXPECT_TRUE(desktop.open(folder / "Foo Installer.pkg"));
  }
  {
    // No handler for the type: xdg-open says so with its status.
    test::ScopedEnvironmentVariable status("XDG_EXIT", std::string("3"));
    EXPECT_FALSE(desktop.open(folder / "Foo.mpkg"));
  }
  EXPECT_EQ(test::readFile(folder / "opened"), folder / "Foo Installer.pkg\n" + folder / "Foo.mpkg\n");
}

}  // namespace
}  // namespace vantor::platform
