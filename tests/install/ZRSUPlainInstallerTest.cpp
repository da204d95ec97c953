#include "install/ZRSUPlainInstaller.h"

#include <gtest/gtest.h>

#include "support/BundleFixture.h"
#include "install/ZRSUFileManager.h"
#include "platform/FileTags.h"

namespace vantor::install {
namespace {

using namespace vantor::testing;

constexpr const char* kQuarantine = "user.com.apple.quarantine";
const std::vector<double> kAllFractions = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0};

std::vector<double> fractionsUpTo(double last) {
  std::vector<double> out;
  for (double f : kAllFractions)
    if (f <= last + 1e-9) out.push_back(f);
  return out;
}

// An applications folder, a download with the extracted new bundle, a scratch folder
// with the stand-in for the bundle to replace, and a private temporary folder on the
// same file system.
class ReplacementScene {
 public:
  explicit ReplacementScene(bool withTemporaryFolder = true) {
    makeFolder(temp / "apps");
    makeFolder(temp / "scratch/App.app");
    makeFolder(temp / "tmp");
    makeSampleBundle(newApp(), "v2");
    ::setenv("TMPDIR", withTemporaryFolder ? (temp / "tmp").c_str() : (temp / "no such folder").c_str(), 1);
  }
  ~ReplacementScene() { ::unsetenv("TMPDIR"); }

  std::string newApp() const { return temp / "downloads/extracted/App.app"; }
  // What the destination must hold afterwards: the new bundle without its quarantine
  // (its own times stamped anew).
  TreeSnapshot expectedAtDestination() const { return newSnapshot.without(kQuarantine).withoutRootTimes(); }

  bool run(const std::string& old, const std::string& destination, Error* error) {
    return ZRSUPlainInstaller::updateAppAtURL(old, destination, newApp(),
                                              [this](double f) { progress.push_back(f); }, error);
  }

  TempFolder temp;
  TreeSnapshot newSnapshot = TreeSnapshot();
  std::vector<double> progress;
};

TEST(ZRSUPlainInstallerTest, BundleArrivesIdenticalWithEveryFraction) {
  struct Case {
    const char* what;
    const char* old;
    const char* destination;
    bool otherFileSystem;
  } cases[] = {
      {"stand-in replaced, destination beside", "scratch/App.app", "apps/App.app", false},
      {"old bundle replaced in place", "apps/App.app", "apps/App.app", false},
      {"destination on another file system", "scratch/App.app", "other/App.app", true},
      {"destination folder links to another file system", "scratch/App.app", "Applications/App.app", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ReplacementScene scene;
    if (c.otherFileSystem && !scene.temp.mountTmpfs(scene.temp / "other", "16m")) {
      GTEST_SKIP() << "tmpfs cannot be mounted here";
    }
    makeLink(scene.temp / "other", scene.temp / "Applications");
    if (std::string(c.old) == "apps/App.app") makeSampleBundle(scene.temp / c.old, "v1");
    scene.newSnapshot = snapshotTree(scene.newApp());
    Error error;
    ASSERT_TRUE(scene.run(scene.temp / c.old, scene.temp / c.destination, &error)) << error.description();
    EXPECT_EQ(scene.progress, kAllFractions);
    auto arrived = snapshotTree(scene.temp / c.destination).withoutRootTimes();
    EXPECT_EQ(arrived, scene.expectedAtDestination()) << arrived.differencesFrom(scene.expectedAtDestination());
    EXPECT_TRUE(entriesOf(scene.temp / "downloads/extracted").empty());
    EXPECT_TRUE(entriesOf(scene.temp / "tmp").empty());
    EXPECT_EQ(entriesOf(scene.temp / "scratch"), std::string(c.old).rfind("scratch/", 0) == 0
                                                      ? std::vector<std::string>{}
                                                      : std::vector<std::string>{"App.app"});
    EXPECT_EQ(entriesOf(scene.temp / "apps"),
              std::string(c.destination).rfind("apps/", 0) == 0 ? std::vector<std::string>{"App.app"}
                                                                 : std::vector<std::string>{});
    EXPECT_TRUE(lstatOf(scene.temp / "Applications").st_mode & S_IFLNK);
  }
}

TEST(ZRSUPlainInstallerTest, ExistingDestinationFailsAndEverythingIsPutBack) {
  ReplacementScene scene;
  writeFile(scene.temp / "scratch/App.app/marker", "stand-in");
  makeSampleBundle(scene.temp / "apps/App.app", "already there");
  auto oldBefore = snapshotTree(scene.temp / "scratch/App.app");
  auto destinationBefore = snapshotTree(scene.temp / "apps/App.app");
  Error error;
  EXPECT_FALSE(scene.run(scene.temp / "scratch/App.app", scene.temp / "apps/App.app", &error));
  EXPECT_EQ(error.domain, kCocoaErrorDomain);
  EXPECT_EQ(error.code, 516);
  EXPECT_EQ(scene.progress, fractionsUpTo(0.8));
  EXPECT_EQ(snapshotTree(scene.temp / "apps/App.app"), destinationBefore);
  EXPECT_EQ(snapshotTree(scene.temp / "scratch/App.app"), oldBefore);
  EXPECT_EQ(entriesOf(scene.temp / "scratch"), std::vector<std::string>{"App.app"});
  EXPECT_TRUE(entriesOf(scene.temp / "tmp").empty());
}

TEST(ZRSUPlainInstallerTest, MissingPathsFailBeforeAnything) {
  ReplacementScene scene;
  for (const auto& [old, update] : {std::pair<std::optional<std::string>, std::optional<std::string>>{
                                        std::nullopt, scene.newApp()},
                                    {scene.temp / "scratch/App.app", std::nullopt}}) {
    Error error;
    bool called = false;
    EXPECT_FALSE(ZRSUPlainInstaller::updateAppAtURL(old, scene.temp / "apps/App.app", update,
                                                    [&](double) { called = true; }, &error));
    EXPECT_EQ(error.domain, "SUSparkleErrorDomain");
    EXPECT_EQ(error.code, 4005);
    EXPECT_EQ(error.localizedDescription(),
              "Failed to perform installation because the paths to install at and from are not valid");
    EXPECT_FALSE(called);
  }
}

TEST(ZRSUPlainInstallerTest, FailuresStopAtTheLastFractionAndLeaveNothingHalfMoved) {
  struct Case {
    const char* what;
    std::function<bool(ReplacementScene&)> arrange;  // false: skip
    double lastFraction;
    std::string domain;
    long code;
    std::string description;
    bool newStaysInPlace;
  } cases[] = {
      {"a pipe in the bundle",
       [](ReplacementScene& s) {
         makeFifo(s.newApp() + "/Contents/Resources/pipe");
         return true;
       },
       0.1, kPOSIXErrorDomain, EOPNOTSUPP, "Failed to open file descriptor to pipe", true},
      {"a socket in the bundle",
       [](ReplacementScene& s) {
         makeSocketFile(s.newApp() + "/Contents/socket");
         return true;
       },
       0.1, kPOSIXErrorDomain, EOPNOTSUPP, "Failed to open file descriptor to socket", true},
      {"no bundle to replace",
       [](ReplacementScene& s) {
         ::rmdir((s.temp / "scratch/App.app").c_str());
         return true;
       },
       0.7, kCocoaErrorDomain, 4, "Source file to move (App.app) does not exist.", false},
      {"destination file system full",
       [](ReplacementScene& s) {
         writeFile(s.newApp() + "/Contents/Resources/large.bin", std::string(2 << 20, 'x'));
         return s.temp.mountTmpfs(s.temp / "apps", "256k");
       },
       0.8, kPOSIXErrorDomain, ENOSPC, "Failed to copy file (App.app)", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ReplacementScene scene;
    if (!c.arrange(scene)) continue;
    writeFile(scene.temp / "apps/Other.app", "another app");
    auto newBefore = snapshotTree(scene.newApp());
    auto oldBefore = snapshotTree(scene.temp / "scratch/App.app");
    Error error;
    EXPECT_FALSE(scene.run(scene.temp / "scratch/App.app", scene.temp / "apps/App.app", &error));
    EXPECT_EQ(error.domain, c.domain);
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.localizedDescription(), c.description);
    EXPECT_EQ(scene.progress, fractionsUpTo(c.lastFraction));
    EXPECT_EQ(entriesOf(scene.temp / "apps"), std::vector<std::string>{"Other.app"});
    EXPECT_EQ(snapshotTree(scene.temp / "scratch/App.app"), oldBefore);
    EXPECT_TRUE(entriesOf(scene.temp / "tmp").empty());
    if (c.newStaysInPlace) {
      auto newAfter = snapshotTree(scene.newApp());
      // The stamp before staging makes items readable and sets access times only.
      EXPECT_EQ(newAfter, newBefore) << newAfter.differencesFrom(newBefore);
    }
  }
}

TEST(ZRSUPlainInstallerTest, LinksLeavingTheBundleStayLinksAndWhatTheyReachIsUntouched) {
  ReplacementScene scene;
  std::string outsideFile = scene.temp / "downloads/extracted/outside-of-the-bundle";
  writeFile(outsideFile, "outside", 0600);
  setAttribute(outsideFile, kQuarantine, "0081;x;y;");
  writeFile(scene.temp / "downloads/outside-folder/inside", "inside", 0600);
  setAttribute(scene.temp / "downloads/outside-folder/inside", kQuarantine, "0081;x;y;");
  makeLink("../../../../outside-folder", scene.newApp() + "/Contents/Resources/folder-link");
  struct timespec old[2] = {{1000, 0}, {2000, 0}};
  ::utimensat(AT_FDCWD, outsideFile.c_str(), old, 0);
  ::utimensat(AT_FDCWD, (scene.temp / "downloads/outside-folder/inside").c_str(), old, 0);
  ::chown((scene.temp / "scratch/App.app").c_str(), kNobody, kNoGroup);
  auto outsideBefore = snapshotTree(outsideFile);
  auto folderBefore = snapshotTree(scene.temp / "downloads/outside-folder");
  auto atimeBefore = lstatOf(outsideFile).st_atim.tv_sec;
  scene.newSnapshot = snapshotTree(scene.newApp());
  Error error;
  ASSERT_TRUE(scene.run(scene.temp / "scratch/App.app", scene.temp / "apps/App.app", &error)) << error.description();
  EXPECT_EQ(snapshotTree(outsideFile), outsideBefore);
  EXPECT_EQ(snapshotTree(scene.temp / "downloads/outside-folder"), folderBefore);
  EXPECT_EQ(lstatOf(outsideFile).st_atim.tv_sec, atimeBefore);
  auto arrived = snapshotTree(scene.temp / "apps/App.app");
  EXPECT_EQ(arrived.entries["Contents/Resources/relative-link"].contents, "../../../outside-of-the-bundle");
  EXPECT_EQ(arrived.entries["Contents/Resources/folder-link"].type, 'l');
  EXPECT_EQ(arrived.entries["Contents/Resources/folder-link"].owner, kNobody);
}

TEST(ZRSUPlainInstallerTest, OwnerGroupAndTagsOfTheReplacedBundleCarryOver) {
  ReplacementScene scene;
  makeSampleBundle(scene.temp / "apps/App.app", "v1");
  chownTree(scene.temp / "apps/App.app", kNobody, kNoGroup);
  ASSERT_EQ(platform::FileTags::setTagNames(scene.temp / "apps/App.app", {"Work", "Blue\n4"}), 0);
  Error error;
  ASSERT_TRUE(scene.run(scene.temp / "apps/App.app", scene.temp / "apps/App.app", &error)) << error.description();
  for (const auto& [path, entry] : snapshotTree(scene.temp / "apps/App.app").entries) {
    EXPECT_EQ(entry.owner, kNobody) << path;
    EXPECT_EQ(entry.group, kNoGroup) << path;
  }
  EXPECT_EQ(platform::FileTags::tagNames(scene.temp / "apps/App.app", nullptr),
            (std::vector<std::string>{"Work", "Blue"}));
}

TEST(ZRSUPlainInstallerTest, UnreadableFileStopsTheUserBeforeAnythingMoves) {
  ReplacementScene scene;
  writeFile(scene.newApp() + "/Contents/Resources/secret", "secret", 0);
  chownTree(scene.temp.path(), kNobody, kNoGroup);
  auto newBefore = snapshotTree(scene.newApp());
  std::string report = scene.temp / "report";
  int status = runInChild([&] {
    if (!becomeNobody()) return 100;
    Error error;
    bool ok = ZRSUPlainInstaller::updateAppAtURL(scene.temp / "scratch/App.app", scene.temp / "apps/App.app",
                                                 scene.newApp(), nullptr, &error);
    writeFile(report, ok ? "succeeded" : error.localizedDescription());
    return error.code == EACCES ? 0 : 1;
  });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readFile(report), "Failed to open file descriptor to secret");
  EXPECT_TRUE(entriesOf(scene.temp / "apps").empty());
  EXPECT_TRUE(entriesOf(scene.temp / "tmp").empty());
  EXPECT_EQ(snapshotTree(scene.newApp()).withoutRootTimes(), newBefore.withoutRootTimes());
}

// Every folder named like the bundle below root whose tree equals want.
bool bundleFoundBelow(const std::string& root, const std::string& name, const TreeSnapshot& want) {
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->path().filename() == name && it->is_directory() && !it->is_symlink() &&
        snapshotTree(it->path()) == want)
      return true;
  }
  return false;
}

TEST(ZRSUPlainInstallerTest, KilledBetweenAnyTwoStepsTheOldBundleSurvives) {
  for (bool replacementFolder : {true, false}) {
    for (int step = 1; step <= 10; ++step) {
      SCOPED_TRACE(::testing::Message() << "killed at " << step / 10.0
                                        << (replacementFolder ? " (replacement folder)" : " (folders beside)"));
      ReplacementScene scene(replacementFolder);
      std::string app = scene.temp / "apps/App.app";
      makeSampleBundle(app, "v1");
      auto oldSnapshot = snapshotTree(app);
      scene.newSnapshot = snapshotTree(scene.newApp());
      int status = runInChild([&] {
        ZRSUPlainInstaller::updateAppAtURL(app, app, scene.newApp(),
                                           [step](double f) {
                                             if (f >= step / 10.0 - 1e-9) ::raise(SIGKILL);
                                           },
                                           nullptr);
        return 0;
      });
      ASSERT_TRUE(WIFSIGNALED(status));
      auto atDestination = snapshotTree(app);
      bool destinationIsOld = atDestination == oldSnapshot;
      bool destinationIsNew = atDestination.withoutRootTimes() == scene.expectedAtDestination();
      // Never a half-moved bundle at the destination.
      EXPECT_TRUE(destinationIsOld || destinationIsNew || atDestination.entries.empty())
          << atDestination.differencesFrom(oldSnapshot);
      if (step < 10) {
        EXPECT_TRUE(destinationIsOld || bundleFoundBelow(scene.temp / "tmp", "App.app", oldSnapshot) ||
                    bundleFoundBelow(scene.temp / "apps", "App.app", oldSnapshot));
      } else {
        EXPECT_TRUE(destinationIsNew);
      }
    }
  }
}

}  // namespace
}  // namespace vantor::install
