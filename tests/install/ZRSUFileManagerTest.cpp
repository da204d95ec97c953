#include "install/ZRSUFileManager.h"

#include <gtest/gtest.h>

#include "support/BundleFixture.h"

namespace vantor::install {
namespace {

using namespace vantor::testing;

constexpr const char* kQuarantine = "user.com.apple.quarantine";

std::string descriptionOf(const Error& error) { return error.userInfo.value(kLocalizedDescriptionKey, ""); }

// A path longer than the file-name buffer, made of real folders.
std::string makeDeepPath(const TempFolder& temp) {
  std::string path = temp.path();
  while (path.size() < 1100) {
    path += "/" + std::string(200, 'd');
    makeFolder(path);
  }
  writeFile(path + "/deep.txt", "deep");
  return path + "/deep.txt";
}

TEST(ZRSUFileManagerTest, ChecksComeInOrderWithTheirCodesAndTexts) {
  TempFolder temp;
  writeFile(temp / "source.txt", "x");
  writeFile(temp / "existing.txt", "x");
  std::string deep = makeDeepPath(temp);
  ZRSUFileManager fm;
  struct Case {
    const char* what;
    std::function<bool(Error*)> run;
    std::string domain;
    long code;
    std::string description;
  } cases[] = {
      {"copy, no source", [&](Error* e) { return fm.copyItemAtURL(temp / "none.txt", temp / "to.txt", e); },
       kCocoaErrorDomain, 4, "Source file to copy (none.txt) does not exist."},
      {"copy, no parent", [&](Error* e) { return fm.copyItemAtURL(temp / "source.txt", temp / "nowhere/to.txt", e); },
       kCocoaErrorDomain, 4, "Destination parent directory to copy into (nowhere) does not exist."},
      {"copy, destination exists",
       [&](Error* e) { return fm.copyItemAtURL(temp / "source.txt", temp / "existing.txt", e); }, kCocoaErrorDomain,
       516, "Destination file to copy to (existing.txt) already exists."},
      {"copy, source too long", [&](Error* e) { return fm.copyItemAtURL(deep, temp / "to.txt", e); },
       kCocoaErrorDomain, 258, "URL of the file (deep.txt) cannot be represented as a file path"},
      {"copy, parent is a file",
       [&](Error* e) { return fm.copyItemAtURL(temp / "source.txt", temp / "existing.txt/to.txt", e); },
       kPOSIXErrorDomain, ENOTDIR, "Failed to create file system reference for existing.txt"},
      {"move, no source", [&](Error* e) { return fm.moveItemAtURL(temp / "none.txt", temp / "to.txt", e); },
       kCocoaErrorDomain, 4, "Source file to move (none.txt) does not exist."},
      {"move, no parent", [&](Error* e) { return fm.moveItemAtURL(temp / "source.txt", temp / "nowhere/to.txt", e); },
       kCocoaErrorDomain, 4, "Destination parent directory to move into (nowhere) does not exist."},
      {"move, destination exists",
       [&](Error* e) { return fm.moveItemAtURL(temp / "source.txt", temp / "existing.txt", e); }, kCocoaErrorDomain,
       516, "Destination file to move (existing.txt) already exists."},
      {"owner, no target",
       [&](Error* e) { return fm.changeOwnerAndGroupOfItemAtRootURL(temp / "none", temp / "source.txt", e); },
       kCocoaErrorDomain, 4, "Failed to change owner & group IDs because none does not exist."},
      {"owner, no model",
       [&](Error* e) { return fm.changeOwnerAndGroupOfItemAtRootURL(temp / "source.txt", temp / "none", e); },
       kCocoaErrorDomain, 4, "Failed to match owner & group IDs because none does not exist."},
      {"owner, too long", [&](Error* e) { return fm._changeOwnerAndGroupOfItemAtURL(deep, 0, 0, e); },
       kCocoaErrorDomain, 258, "File to change owner & group (deep.txt) cannot be represented as a valid file name."},
      {"access time, no item", [&](Error* e) { return fm.updateAccessTimeOfItemAtRootURL(temp / "none", e); },
       kCocoaErrorDomain, 4, "Failed to update modification & access time recursively because none does not exist."},
      {"access time, too long", [&](Error* e) { return fm.updateAccessTimeOfItemAtRootURL(deep, e); },
       kCocoaErrorDomain, 258,
       "File to update modification & access time (deep.txt) cannot be represented as a valid file name."},
      {"both times, no item",
       [&](Error* e) { return fm.updateModificationAndAccessTimeOfItemAtURL(temp / "none", e); }, kCocoaErrorDomain, 4,
       "Failed to update modification & access time because none does not exist."},
      {"folder exists", [&](Error* e) { return fm.makeDirectoryAtURL(temp / "existing.txt", e); }, kCocoaErrorDomain,
       516, "Failed to create directory because file existing.txt already exists."},
      {"folder, no parent", [&](Error* e) { return fm.makeDirectoryAtURL(temp / "nowhere/folder", e); },
       kCocoaErrorDomain, 4, "Failed to create directory because parent directory nowhere does not exist."},
      {"remove, no item", [&](Error* e) { return fm.removeItemAtURL(temp / "none", e); }, kCocoaErrorDomain, 4,
       "Failed to remove file none because it does not exist."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Error error;
    EXPECT_FALSE(c.run(&error));
    EXPECT_EQ(error.domain, c.domain);
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(descriptionOf(error), c.description);
    EXPECT_FALSE(c.run(nullptr));  // the error is optional
  }
  EXPECT_EQ(entriesOf(temp.path()).size(), 3u);  // nothing was made on the way
  int errorNumber = -1;
  EXPECT_EQ(fm._getXAttr("com.apple.quarantine", deep, kXAttrNoFollow, &errorNumber), -1);
  EXPECT_EQ(errorNumber, 0);
  EXPECT_FALSE(fm._itemExistsAtURL(""));
}

TEST(ZRSUFileManagerTest, MovesAcrossFileSystemsByCopyThenRemoval) {
  TempFolder temp;
  if (!temp.mountTmpfs(temp / "other", "16m")) GTEST_SKIP() << "tmpfs cannot be mounted here";
  makeSampleBundle(temp / "App.app");
  auto before = snapshotTree(temp / "App.app");
  ZRSUFileManager fm;
  EXPECT_NE(fm._getVolumeID(temp / "App.app"), fm._getVolumeID(temp / "other"));
  Error error;
  ASSERT_TRUE(fm.moveItemAtURL(temp / "App.app", temp / "other/App.app", &error)) << error.description();
  EXPECT_FALSE(exists(temp / "App.app"));
  auto after = snapshotTree(temp / "other/App.app");
  EXPECT_EQ(after, before) << after.differencesFrom(before);
}

TEST(ZRSUFileManagerTest, FailedCopyKeepsTheSourceAndReportsTheCopy) {
  TempFolder temp;
  if (!temp.mountTmpfs(temp / "small", "256k")) GTEST_SKIP() << "tmpfs cannot be mounted here";
  makeSampleBundle(temp / "App.app");
  writeFile(temp / "App.app/Contents/Resources/large.bin", std::string(2 << 20, 'x'));
  auto before = snapshotTree(temp / "App.app");
  ZRSUFileManager fm;
  Error error;
  EXPECT_FALSE(fm.moveItemAtURL(temp / "App.app", temp / "small/App.app", &error));
  EXPECT_EQ(error.domain, kPOSIXErrorDomain);
  EXPECT_EQ(error.code, ENOSPC);
  EXPECT_EQ(descriptionOf(error), "Failed to copy file (App.app)");
  EXPECT_EQ(snapshotTree(temp / "App.app"), before);
  EXPECT_TRUE(entriesOf(temp / "small").empty());
}

TEST(ZRSUFileManagerTest, MoveThroughALinkToAnotherFileSystemCopies) {
  TempFolder temp;
  if (!temp.mountTmpfs(temp / "other", "16m")) GTEST_SKIP() << "tmpfs cannot be mounted here";
  makeSampleBundle(temp / "App.app");
  auto before = snapshotTree(temp / "App.app");
  makeLink(temp / "other", temp / "Applications");
  ZRSUFileManager fm;
  Error error;
  ASSERT_TRUE(fm.moveItemAtURL(temp / "App.app", temp / "Applications/App.app", &error)) << error.description();
  EXPECT_EQ(snapshotTree(temp / "other/App.app"), before);
  EXPECT_FALSE(exists(temp / "App.app"));
}

TEST(ZRSUFileManagerTest, QuarantineGoesFromEveryItemBelowAndNothingElse) {
  TempFolder temp;
  makeSampleBundle(temp / "App.app");
  auto before = snapshotTree(temp / "App.app");
  ZRSUFileManager fm;
  Error error;
  ASSERT_TRUE(fm.releaseItemFromQuarantineAtRootURL(temp / "App.app", &error)) << error.description();
  auto after = snapshotTree(temp / "App.app");
  EXPECT_EQ(after, before.without(kQuarantine)) << after.differencesFrom(before.without(kQuarantine));
  // Nothing left to release: success, no change.
  EXPECT_TRUE(fm.releaseItemFromQuarantineAtRootURL(temp / "App.app", &error));
  EXPECT_EQ(snapshotTree(temp / "App.app"), after);
}

TEST(ZRSUFileManagerTest, QuarantineReleaseDoesNotEnterALinkedRoot) {
  TempFolder temp;
  makeSampleBundle(temp / "Real.app");
  makeLink(temp / "Real.app", temp / "Link.app");
  ZRSUFileManager fm;
  EXPECT_TRUE(fm.releaseItemFromQuarantineAtRootURL(temp / "Link.app", nullptr));
  EXPECT_TRUE(hasAttribute(temp / "Real.app", kQuarantine));
  EXPECT_TRUE(hasAttribute(temp / "Real.app/Contents/Resources/en.lproj/Localizable.strings", kQuarantine));
}

TEST(ZRSUFileManagerTest, OwnerAndGroupFollowTheModelDownTheTree) {
  TempFolder temp;
  makeSampleBundle(temp / "App.app");
  writeFile(temp / "outside-of-the-bundle", "outside");
  writeFile(temp / "Model.app/x", "x");
  ::chown((temp / "Model.app").c_str(), kNobody, kNoGroup);
  ZRSUFileManager fm;
  Error error;
  ASSERT_TRUE(fm.changeOwnerAndGroupOfItemAtRootURL(temp / "App.app", temp / "Model.app", &error))
      << error.description();
  for (const auto& [path, entry] : snapshotTree(temp / "App.app").entries) {
    EXPECT_EQ(entry.owner, kNobody) << path;
    EXPECT_EQ(entry.group, kNoGroup) << path;
  }
  // The links changed as links: what they point at keeps its owner.
  EXPECT_EQ(lstatOf(temp / "outside-of-the-bundle").st_uid, 0u);
  EXPECT_EQ(lstatOf("/etc/hostname").st_uid, 0u);
}

TEST(ZRSUFileManagerTest, OwnerAndGroupAlreadyEqualTouchNothing) {
  TempFolder temp;
  writeFile(temp / "App.app/Contents/file", "x");
  ::chown((temp / "App.app").c_str(), kNobody, kNoGroup);
  writeFile(temp / "Model.app/x", "x");
  ::chown((temp / "Model.app").c_str(), kNobody, kNoGroup);
  auto before = lstatOf(temp / "App.app/Contents/file");
  ZRSUFileManager fm;
  EXPECT_TRUE(fm.changeOwnerAndGroupOfItemAtRootURL(temp / "App.app", temp / "Model.app", nullptr));
  auto after = lstatOf(temp / "App.app/Contents/file");
  EXPECT_EQ(after.st_uid, 0u);
  EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
  EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
}

TEST(ZRSUFileManagerTest, AccessTimeStampMakesReadableAndKeepsModificationTimes) {
  TempFolder temp;
  writeFile(temp / "App.app/private.txt", "x", 0600);
  writeFile(temp / "App.app/tool", "x", 0700);
  makeFolder(temp / "App.app/Private", 0700);
  writeFile(temp / "outside", "x", 0600);
  makeLink("../outside", temp / "App.app/link");
  struct timespec old[2] = {{1000, 0}, {2000, 555}};
  for (const char* item : {"App.app/private.txt", "App.app/tool", "App.app/Private", "outside"})
    ::utimensat(AT_FDCWD, (temp / item).c_str(), old, 0);
  ZRSUFileManager fm;
  Error error;
  time_t start = ::time(nullptr);
  ASSERT_TRUE(fm.updateAccessTimeOfItemAtRootURL(temp / "App.app", &error)) << error.description();
  struct Case {
    const char* item;
    unsigned mode;
  } cases[] = {{"App.app/private.txt", 0644}, {"App.app/tool", 0755}, {"App.app/Private", 0755}};
  for (const auto& c : cases) {
    auto st = lstatOf(temp / c.item);
    EXPECT_EQ(st.st_mode & 07777, c.mode) << c.item;
    EXPECT_GE(st.st_atim.tv_sec, start) << c.item;
    EXPECT_EQ(st.st_mtim.tv_sec, 2000) << c.item;
    EXPECT_EQ(st.st_mtim.tv_nsec, 555) << c.item;
  }
  auto outside = lstatOf(temp / "outside");
  EXPECT_EQ(outside.st_mode & 07777, 0600u);
  EXPECT_EQ(outside.st_atim.tv_sec, 1000);

  ASSERT_TRUE(fm.updateModificationAndAccessTimeOfItemAtURL(temp / "App.app/private.txt", &error));
  EXPECT_GE(lstatOf(temp / "App.app/private.txt").st_mtim.tv_sec, start);
}

TEST(ZRSUFileManagerTest, TemporaryFolderNamesCountUpWhereNoReplacementFolderServes) {
  TempFolder temp;
  makeFolder(temp / "apps");
  ::setenv("TMPDIR", (temp / "no such folder").c_str(), 1);
  ZRSUFileManager fm;
  std::vector<std::string> made;
  for (int i = 0; i < 3; ++i) {
    auto folder = fm.makeTemporaryDirectoryWithPreferredName("App (Incomplete Update)", temp / "apps", nullptr);
    ASSERT_TRUE(folder);
    made.push_back(*folder);
  }
  EXPECT_EQ(made, (std::vector<std::string>{temp / "apps/App (Incomplete Update)",
                                            temp / "apps/App (Incomplete Update) (2)",
                                            temp / "apps/App (Incomplete Update) (3)"}));
  ::unsetenv("TMPDIR");
}

TEST(ZRSUFileManagerTest, TemporaryFolderPrefersTheReplacementFolderOnTheSameMount) {
  TempFolder temp;
  makeFolder(temp / "apps");
  makeFolder(temp / "tmp");
  ::setenv("TMPDIR", (temp / "tmp").c_str(), 1);
  ZRSUFileManager fm;
  auto folder = fm.makeTemporaryDirectoryWithPreferredName("App", temp / "apps", nullptr);
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->rfind(temp / "tmp/", 0), 0u) << *folder;
  EXPECT_TRUE(entriesOf(temp / "apps").empty());
  ::unsetenv("TMPDIR");
}

}  // namespace
}  // namespace vantor::install
