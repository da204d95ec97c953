#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include "support/BundleFixture.h"
#include "platform/FileItem.h"
#include "platform/FileTags.h"

namespace vantor::platform {
namespace {

using namespace vantor::testing;

TEST(FileSystemTest, MoveNeverReplacesWhatIsThere) {
  TempFolder temp;
  makeFolder(temp / "Source.app");
  writeFile(temp / "Source.app/file", "new");
  makeFolder(temp / "EmptyFolder");
  writeFile(temp / "File", "old");
  for (const std::string name : {"EmptyFolder", "File"}) {
    auto before = snapshotTree(temp / name);
    EXPECT_EQ(FileSystem::moveItem(temp / "Source.app", temp / name), EEXIST);
    EXPECT_EQ(snapshotTree(temp / name), before);
  }
  EXPECT_EQ(FileSystem::moveItem(temp / "Source.app", temp / "Moved.app"), 0);
  EXPECT_EQ(readFile(temp / "Moved.app/file"), "new");
}

TEST(FileSystemTest, MoveAcrossMountsReportsIt) {
  TempFolder temp;
  if (!temp.mountTmpfs(temp / "other", "1m")) GTEST_SKIP() << "tmpfs cannot be mounted here";
  writeFile(temp / "file", "x");
  EXPECT_EQ(FileSystem::moveItem(temp / "file", temp / "other/file"), EXDEV);
  EXPECT_TRUE(exists(temp / "file"));
}

TEST(FileSystemTest, RemovalClearsReadOnlyFoldersOfTheCallersOwn) {
  TempFolder temp;
  makeSampleBundle(temp / "App.app");
  makeFolder(temp / "App.app/Contents/Locked", 0700);
  writeFile(temp / "App.app/Contents/Locked/inside", "x");
  ::chmod((temp / "App.app/Contents/Locked").c_str(), 0);
  chownTree(temp / "App.app", kNobody, kNoGroup);
  ::chown(temp.path().c_str(), kNobody, kNoGroup);
  int status = runInChild([&] {
    if (!becomeNobody()) return 2;
    return FileSystem::removeItem(temp / "App.app");
  });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(exists(temp / "App.app"));
}

TEST(FileSystemTest, RemovalNeverFollowsLinks) {
  TempFolder temp;
  writeFile(temp / "outside/keep", "keep");
  makeLink(temp / "outside", temp / "tree/link");
  EXPECT_EQ(FileSystem::removeItem(temp / "tree"), 0);
  EXPECT_FALSE(exists(temp / "tree"));
  EXPECT_EQ(readFile(temp / "outside/keep"), "keep");
}

TEST(FileSystemTest, EnumerationListsEverythingBelowWithoutEnteringLinks) {
  TempFolder temp;
  writeFile(temp / "root/a/b/.hidden", "x");
  writeFile(temp / "elsewhere/file", "x");
  makeLink(temp / "elsewhere", temp / "root/link");
  std::vector<std::string> seen;
  FileSystem::enumerateTree(temp / "root", [&](const std::string& path, const FileStatus&) {
    seen.push_back(path.substr(temp.path().size()));
    return true;
  });
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"/root/a", "/root/a/b", "/root/a/b/.hidden", "/root/link"}));
  seen.clear();
  FileSystem::enumerateTree(temp / "root/link", [&](const std::string& path, const FileStatus&) {
    seen.push_back(path);
    return true;
  });
  EXPECT_TRUE(seen.empty());
}

TEST(FileSystemTest, ItemReplacementFolderOnlyOnTheSameMount) {
  TempFolder temp;
  makeFolder(temp / "tmp");
  makeFolder(temp / "apps");
  ::setenv("TMPDIR", (temp / "tmp").c_str(), 1);
  int error = -1;
  auto folder = FileSystem::makeItemReplacementDirectory(temp / "apps", "prefix", &error);
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->rfind(temp / "tmp/prefix.", 0), 0u) << *folder;
  EXPECT_TRUE(entriesOf(temp / "apps").empty());
  if (temp.mountTmpfs(temp / "mounted", "1m")) {
    EXPECT_FALSE(FileSystem::makeItemReplacementDirectory(temp / "mounted", "prefix", &error));
    EXPECT_EQ(error, EXDEV);
  }
  ::unsetenv("TMPDIR");
}

TEST(FileItemTest, ChangesLinksThemselvesNeverTheirTargets) {
  TempFolder temp;
  writeFile(temp / "target", "x", 0600);
  makeLink(temp / "target", temp / "link");
  auto targetBefore = lstatOf(temp / "target");
  int error = 0;
  auto item = FileItem::open(temp / "link", &error);
  ASSERT_TRUE(item) << error;
  EXPECT_TRUE(item->status().isSymlink());
  EXPECT_EQ(item->changeOwner(kNobody, kNoGroup), 0);
  EXPECT_EQ(item->changeMode(0777), 0);
  EXPECT_EQ(item->setAccessTime({1000, 0}), 0);
  EXPECT_EQ(lstatOf(temp / "link").st_uid, kNobody);
  EXPECT_EQ(lstatOf(temp / "link").st_atim.tv_sec, 1000);
  auto targetAfter = lstatOf(temp / "target");
  EXPECT_EQ(targetAfter.st_uid, targetBefore.st_uid);
  EXPECT_EQ(targetAfter.st_mode, targetBefore.st_mode);
  EXPECT_EQ(targetAfter.st_atim.tv_sec, targetBefore.st_atim.tv_sec);
}

TEST(FileItemTest, SpecialFilesAreRefusedWithoutBlocking) {
  TempFolder temp;
  makeFifo(temp / "pipe");
  makeSocketFile(temp / "socket");
  for (const std::string name : {"pipe", "socket"}) {
    int error = 0;
    EXPECT_FALSE(FileItem::open(temp / name, &error));
    EXPECT_EQ(error, EOPNOTSUPP) << name;
  }
}

TEST(FileItemTest, UnreadableItemsCannotBeOpenedWithoutPrivilege) {
  TempFolder temp;
  writeFile(temp / "secret", "x", 0);
  ::chown((temp / "secret").c_str(), kNobody, kNoGroup);
  int status = runInChild([&] {
    if (!becomeNobody()) return 100;
    int error = 0;
    return FileItem::open(temp / "secret", &error) ? 0 : error;
  });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), EACCES);
}

TEST(FileTagsTest, NamesComeBackWithoutTheirColours) {
  TempFolder temp;
  writeFile(temp / "file", "x");
  ASSERT_EQ(FileTags::setTagNames(temp / "file", {"Work", "Red\n6"}), 0);
  EXPECT_TRUE(hasAttribute(temp / "file", "user.com.apple.metadata:_kMDItemUserTags"));
  EXPECT_EQ(FileTags::tagNames(temp / "file", nullptr), (std::vector<std::string>{"Work", "Red"}));
  ASSERT_EQ(FileTags::setTagNames(temp / "file", {}), 0);
  EXPECT_EQ(FileTags::tagNames(temp / "file", nullptr), std::vector<std::string>{});
}

}  // namespace
}  // namespace vantor::platform
