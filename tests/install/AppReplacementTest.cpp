#include "install/AppReplacement.h"

#include <gtest/gtest.h>

#include "support/BundleFixture.h"
#include "install/ZRSUFileManager.h"

namespace vantor::install {
namespace {

using namespace vantor::testing;

// The user's file manager, except that chosen moves (counted from 1) fail; a failing
// move may first do its work, as a cross-device move whose source removal fails does.
class FaultyFiles : public ZRSUFileManager {
 public:
  std::map<int, bool> failingMoves;  // move number -> whether it does its work first
  int moves = 0;

  bool moveItemAtURL(const std::string& source, const std::string& destination, Error* error) override {
    auto fault = failingMoves.find(++moves);
    if (fault == failingMoves.end()) return ZRSUFileManager::moveItemAtURL(source, destination, error);
    if (fault->second) (void)ZRSUFileManager::moveItemAtURL(source, destination, nullptr);
    if (error != nullptr) *error = Error(kPOSIXErrorDomain, EIO);
    return false;
  }
};

class AppReplacementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    makeFolder(temp / "tmp");
    ::setenv("TMPDIR", (temp / "tmp").c_str(), 1);
    makeSampleBundle(old(), "v1");
    makeSampleBundle(temp / "download/App.app", "v2");
    oldSnapshot = snapshotTree(old());
  }
  void TearDown() override { ::unsetenv("TMPDIR"); }

  std::string old() const { return temp / "apps/App.app"; }

  TempFolder temp;
  TreeSnapshot oldSnapshot;
  FaultyFiles files;
};

TEST_F(AppReplacementTest, OldBundleThatCannotGoBackIsKeptWhole) {
  // Moves: new into its folder, old aside, new into place (fails), old back (fails).
  files.failingMoves = {{3, false}, {4, false}};
  AppReplacement replacement(files, old(), old(), temp / "download/App.app");
  Error error;
  EXPECT_FALSE(replacement.run(&error));
  EXPECT_EQ(error.code, EIO);
  EXPECT_FALSE(exists(old()));
  ASSERT_TRUE(replacement.oldTemporaryFolder());
  EXPECT_EQ(snapshotTree(*replacement.oldTemporaryFolder() + "/App.app"), oldSnapshot);
  EXPECT_FALSE(replacement.newTemporaryFolder());
  EXPECT_EQ(entriesOf(temp / "tmp").size(), 1u);  // the old bundle's folder only
}

TEST_F(AppReplacementTest, OldBundleThatReachedItsFolderDespiteAFailureGoesBack) {
  // Moving old aside does its work and still reports failure (as when removing the
  // source after a copy fails): the old bundle must not stay, let alone go, with the
  // folder.
  files.failingMoves = {{2, true}};
  AppReplacement replacement(files, old(), old(), temp / "download/App.app");
  EXPECT_FALSE(replacement.run(nullptr));
  EXPECT_EQ(snapshotTree(old()), oldSnapshot);
  EXPECT_TRUE(entriesOf(temp / "tmp").empty());
}

TEST_F(AppReplacementTest, OldBundleThatCannotGoBackAfterASetAsideFailureIsKept) {
  files.failingMoves = {{2, true}, {3, false}};
  AppReplacement replacement(files, old(), old(), temp / "download/App.app");
  EXPECT_FALSE(replacement.run(nullptr));
  ASSERT_TRUE(replacement.oldTemporaryFolder());
  EXPECT_EQ(snapshotTree(*replacement.oldTemporaryFolder() + "/App.app"), oldSnapshot);
  EXPECT_FALSE(replacement.newTemporaryFolder());
}

TEST_F(AppReplacementTest, OldBundleMovedBackRemovesEveryTemporaryFolder) {
  files.failingMoves = {{3, false}};
  AppReplacement replacement(files, old(), old(), temp / "download/App.app");
  EXPECT_FALSE(replacement.run(nullptr));
  EXPECT_EQ(snapshotTree(old()), oldSnapshot);
  EXPECT_FALSE(replacement.oldTemporaryFolder());
  EXPECT_TRUE(entriesOf(temp / "tmp").empty());
}

}  // namespace
}  // namespace vantor::install
