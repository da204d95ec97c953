// The privileged install in this (root) process for the user nobody, with folders
// swapped for symbolic links after the checks: what it writes must not follow them.

#include "install/PrivilegedInstall.h"

#include <cstdio>

#include <gtest/gtest.h>

#include "support/BundleFixture.h"

namespace vantor::install {
namespace {

using namespace vantor::testing;

TEST(PrivilegedInstallTest, FoldersSwappedAfterTheChecksCannotRedirectTheInstall) {
  TempFolder temp;
  std::string scratch = temp / "scratch", stand = temp / "stand", target = temp / "target";
  makeSampleBundle(scratch + "/Foo-1.0/Foo.app", "the real one");
  makeFolder(stand + "/App.app");
  chownTree(scratch, kNobody, kNoGroup);
  chownTree(stand, kNobody, kNoGroup);
  makeFolder(target, 0755);
  // What the swapped links point to: a root-owned bundle that must not move, and a
  // folder that must not receive anything.
  makeSampleBundle(temp / "decoy/Foo.app", "decoy");
  makeFolder(temp / "elsewhere");
  auto decoyBefore = snapshotTree(temp / "decoy");

  bool swapped = false;
  auto swap = [&](double) {
    if (swapped) return;
    swapped = true;
    // The user renames their folder and leaves a link in its place; the target folder
    // is swapped the same way (as a user with power over its parent could).
    ASSERT_EQ(std::rename((scratch + "/Foo-1.0").c_str(), (scratch + "/renamed").c_str()), 0);
    makeLink(temp / "decoy", scratch + "/Foo-1.0");
    ASSERT_EQ(std::rename(target.c_str(), (temp / "target-renamed").c_str()), 0);
    makeLink(temp / "elsewhere", target);
  };
  std::string reason;
  PrivilegedInstall install(kNobody, stand + "/App.app", target + "/Foo.app", scratch + "/Foo-1.0/Foo.app");
  EXPECT_EQ(install.run(swap, &reason), PrivilegedInstallCode::kSuccess) << reason;
  EXPECT_TRUE(swapped);
  EXPECT_EQ(readFile(temp / "target-renamed/Foo.app/Contents/MacOS/App").substr(70000), "the real one");
  EXPECT_FALSE(exists(scratch + "/renamed/Foo.app"));
  EXPECT_EQ(snapshotTree(temp / "decoy"), decoyBefore);
  EXPECT_EQ(entriesOf(temp / "elsewhere"), std::vector<std::string>{});
}

TEST(PrivilegedInstallTest, CopiesAcrossFileSystemsIntoTheHeldTarget) {
  TempFolder temp;
  std::string scratch = temp / "scratch", stand = temp / "stand", target = temp / "target";
  if (!temp.mountTmpfs(target, "64m")) GTEST_SKIP() << "tmpfs cannot be mounted here";
  makeSampleBundle(scratch + "/Foo.app");
  makeFolder(stand + "/App.app");
  chownTree(scratch, kNobody, kNoGroup);
  chownTree(stand, kNobody, kNoGroup);
  auto expected = snapshotTree(scratch + "/Foo.app").without("user.com.apple.quarantine").withoutRootTimes().withoutOwners();
  std::string reason;
  PrivilegedInstall install(kNobody, stand + "/App.app", target + "/Foo.app", scratch + "/Foo.app");
  ASSERT_EQ(install.run(nullptr, &reason), PrivilegedInstallCode::kSuccess) << reason;
  auto installed = snapshotTree(target + "/Foo.app").withoutRootTimes().withoutOwners();
  EXPECT_EQ(installed, expected) << expected.differencesFrom(installed);
  EXPECT_FALSE(exists(scratch + "/Foo.app"));
  EXPECT_EQ(entriesOf(target), std::vector<std::string>{"Foo.app"}) << "no staging copy left behind";
}

}  // namespace
}  // namespace vantor::install
