#include "install/ZRSUUnpipedUnarchiver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "ExtractionTestSupport.h"
#include "foundation/FileHelpers.h"
#include "support/ArchiveFixtures.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;
using testing::extract;
using testing::message;
using testsupport::folderEntries;
using testsupport::runBsdtar;
using testsupport::ScopedTempFolder;

bool isExecutable(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IXUSR);
}

TEST(ZRSUUnpipedUnarchiverTest, ExtractsABundleWithItsFrameworkLinksAndLeavesOutTopLevelMacOSXFolder) {
  ScopedTempFolder root;
  const std::string work = root / "work";
  testsupport::writeAppBundle(work);
  testsupport::writeTextFile(work + "/__MACOSX/Demo.app/._Info.plist", "resource fork");
  testsupport::writeTextFile(work + "/Demo.app/Contents/Resources/__MACOSX/keep.txt", "kept: not at the top");
  ASSERT_TRUE(runBsdtar({"--format", "zip", "-cf", root / "Demo-2.1.zip", "Demo.app", "__MACOSX"}, work));

  EXPECT_EQ(extract(root / "Demo-2.1.zip"), std::nullopt);
  const std::string app = root / "Demo-2.1_folder/Demo.app";
  EXPECT_EQ(folderEntries(root / "Demo-2.1_folder"), std::vector<std::string>{"Demo.app"});
  EXPECT_TRUE(isExecutable(app + "/Contents/MacOS/Demo"));
  EXPECT_TRUE(fileExists(app + "/Contents/Resources/__MACOSX/keep.txt"));
  const std::string framework = app + "/Contents/Frameworks/Kit.framework";
  EXPECT_EQ(fs::read_symlink(framework + "/Versions/Current"), "A");
  EXPECT_EQ(fs::read_symlink(framework + "/Kit"), "Versions/Current/Kit");
  EXPECT_EQ(contentsAsString(framework + "/Kit"), "kit binary");
}

TEST(ZRSUUnpipedUnarchiverTest, EmptyArchiveFailsWithoutStartingTheCopier) {
  ScopedTempFolder root;
  testsupport::writeTextFile(root / "App.zip", "");
  // With no copier to be found, a launch attempt would report itself instead.
  testing::ScopedEnvironmentValue path("PATH", root / "no-tools");
  auto error = extract(root / "App.zip");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, "SUSparkleErrorDomain");
  EXPECT_EQ(error->code, 3000);
  EXPECT_EQ(message(error), "Extraction failed, archive '" + (root / "App.zip") + "' is empty");
  EXPECT_TRUE(fileIsDirectory(root / "App_folder"));
}

TEST(ZRSUUnpipedUnarchiverTest, MissingCopierIsALaunchFailure) {
  ScopedTempFolder root;
  testsupport::writeTextFile(root / "App.zip", "PK\x05\x06");
  testing::ScopedEnvironmentValue path("PATH", root / "no-tools");
  EXPECT_EQ(message(extract(root / "App.zip")).rfind("Extraction failed, -[NSTask launch] threw exception '", 0), 0u);
}

TEST(ZRSUUnpipedUnarchiverTest, AnyOutputFailsEvenWithStatusZero) {
  ScopedTempFolder root;
  testsupport::writeTextFile(root / "work/file.txt", "text");
  // An absolute member name: the copier strips the "/" and says so, exiting with 0.
  ASSERT_TRUE(runBsdtar({"--format", "zip", "-cf", root / "Warn.zip", "-P", "-s", ",^,/,", "file.txt"}, root / "work"));
  EXPECT_EQ(message(extract(root / "Warn.zip")),
            "Extraction failed, command '/usr/bin/ditto' returned 0 and string: bsdtar: Removing leading '/' from "
            "member names\n");
}

TEST(ZRSUUnpipedUnarchiverTest, NotAZipFailsWithTheCopiersStatusAndText) {
  ScopedTempFolder root;
  testsupport::writeTextFile(root / "App.zip", "this is no archive at all");
  std::string text = message(extract(root / "App.zip"));
  EXPECT_EQ(text.rfind("Extraction failed, command '/usr/bin/ditto' returned 1 and string: ", 0), 0u) << text;
}

}  // namespace
}  // namespace vantor
