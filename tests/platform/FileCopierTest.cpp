#include "platform/FileCopier.h"

#include <gtest/gtest.h>

#include "support/BundleFixture.h"

namespace vantor::platform {
namespace {

using namespace vantor::testing;

TEST(FileCopierTest, BundleArrivesWholeOnTheSameAndOnAnotherFileSystem) {
  TempFolder temp;
  makeSampleBundle(temp / "source/App.app");
  makeFolder(temp / "same");
  bool mounted = temp.mountTmpfs(temp / "other", "16m");
  for (const std::string folder : {"same", "other"}) {
    if (folder == "other" && !mounted) continue;
    SCOPED_TRACE(folder);
    std::string destination = temp / folder + "/App.app";
    std::string failed;
    ASSERT_EQ(FileCopier::copyItem(temp / "source/App.app", destination, &failed), 0) << failed;
    auto want = snapshotTree(temp / "source/App.app");
    auto got = snapshotTree(destination);
    EXPECT_EQ(got, want) << got.differencesFrom(want);
    // Nothing of the staging left beside it.
    EXPECT_EQ(entriesOf(temp / folder), std::vector<std::string>{"App.app"});
  }
  if (!mounted) GTEST_SKIP() << "tmpfs cannot be mounted here; the other file system was not tried";
}

TEST(FileCopierTest, ExistingDestinationIsNeverReplaced) {
  TempFolder temp;
  makeSampleBundle(temp / "App.app");
  makeFolder(temp / "Existing.app");
  writeFile(temp / "File.app", "file");
  for (const std::string name : {"Existing.app", "File.app"}) {
    auto before = snapshotTree(temp / name);
    EXPECT_EQ(FileCopier::copyItem(temp / "App.app", temp / name), EEXIST);
    EXPECT_EQ(snapshotTree(temp / name), before);
  }
  EXPECT_EQ(entriesOf(temp.path()), (std::vector<std::string>{"App.app", "Existing.app", "File.app"}));
}

TEST(FileCopierTest, FolderIsNotCopiedIntoItself) {
  TempFolder temp;
  makeSampleBundle(temp / "App.app");
  auto before = snapshotTree(temp / "App.app");
  EXPECT_EQ(FileCopier::copyItem(temp / "App.app", temp / "App.app/Contents/Copy.app"), EINVAL);
  EXPECT_EQ(snapshotTree(temp / "App.app"), before);
  makeLink(temp / "App.app/Contents", temp / "Contents link");
  EXPECT_EQ(FileCopier::copyItem(temp / "App.app", temp / "Contents link/Copy.app"), EINVAL);
}

TEST(FileCopierTest, SpecialFilesAreRefusedAndNothingIsLeft) {
  struct Case {
    const char* name;
    void (*make)(const std::string&);
  } cases[] = {{"pipe", makeFifo}, {"socket", makeSocketFile}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder temp;
    makeSampleBundle(temp / "App.app");
    c.make(temp / "App.app/Contents/Resources/" + c.name);
    makeFolder(temp / "to");
    std::string failed;
    EXPECT_EQ(FileCopier::copyItem(temp / "App.app", temp / "to/App.app", &failed), EOPNOTSUPP);
    EXPECT_EQ(failed, temp / "App.app/Contents/Resources/" + c.name);
    EXPECT_TRUE(entriesOf(temp / "to").empty());
  }
}

TEST(FileCopierTest, FullFileSystemLeavesNothingAndKeepsTheSource) {
  TempFolder temp;
  if (!temp.mountTmpfs(temp / "small", "256k")) GTEST_SKIP() << "tmpfs cannot be mounted here";
  makeSampleBundle(temp / "App.app");
  writeFile(temp / "App.app/Contents/Resources/large.bin", std::string(2 << 20, 'x'));
  auto before = snapshotTree(temp / "App.app");
  EXPECT_EQ(FileCopier::copyItem(temp / "App.app", temp / "small/App.app"), ENOSPC);
  EXPECT_TRUE(entriesOf(temp / "small").empty());
  EXPECT_EQ(snapshotTree(temp / "App.app"), before);
}

TEST(FileCopierTest, SetIdBitsSurviveOnlyWithTheirOwner) {
  TempFolder temp;
  writeFile(temp / "from/mine", "x", 0755);
  writeFile(temp / "from/theirs", "x", 0755);
  ::chmod((temp / "from/mine").c_str(), 06755);
  ::chown((temp / "from/theirs").c_str(), kNobody, kNoGroup);
  ::chmod((temp / "from/theirs").c_str(), 06755);
  ASSERT_EQ(FileCopier::copyItem(temp / "from", temp / "to"), 0);
  EXPECT_EQ(lstatOf(temp / "to/mine").st_mode & 07777, 06755u);
  EXPECT_EQ(lstatOf(temp / "to/theirs").st_mode & 07777, 0755u);
  EXPECT_EQ(lstatOf(temp / "to/theirs").st_uid, ::geteuid());
}

}  // namespace
}  // namespace vantor::platform
