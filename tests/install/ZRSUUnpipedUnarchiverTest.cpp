#include "install/ZRSUUnpipedUnarchiver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "ExtractionTestSupport.h"
#include "foundation/FileHelpers.h"
#include "support/ArchiveFixtures.h"
#include "support/TestSupport.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;
using test::extract;
using test::message;
using test::folderEntries;
using test::runBsdtar;
using test::TempFolder;

bool isExecutable(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IXUSR);
}

TEST(ZRSUUnpipedUnarchiverTest, ExtractsABundleWithItsFrameworkLinksAndLeavesOutTopLevelMacOSXFolder) {
  test::TempFolder root;
  const std::string work = root / "work";
  test::writeAppBundle(work);
  test::writeFile(work + "/__MACOSX/Demo.app/._Info.plist", "resource fork");
  test::writeFile(work + "/Demo.app/Contents/Resources/__MACOSX/keep.txt", "kept: not at the top");
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
  test::TempFolder root;
  test::writeFile(root / "App.zip", "");
  // With no copier to be found, a launch attempt would report itself instead.
  test::ScopedEnvironmentValue path("PATH", root / "no-tools");
  auto error = extract(root / "App.zip");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, "SUSparkleErrorDomain");
  EXPECT_EQ(error->code, 3000);
  EXPECT_EQ(message(error), "Extraction failed, archive '" + (root / "App.zip") + "' is empty");
  EXPECT_TRUE(fileIsDirectory(root / "App_folder"));
}

TEST(ZRSUUnpipedUnarchiverTest, MissingCopierIsALaunchFailure) {
  test::TempFolder root;
  test::writeFile(root / "App.zip", "PK\x05\x06");
  test::ScopedEnvironmentValue path("PATH", root / "no-tools");
  EXPECT_EQ(message(extract(root / "App.zip")).rfind("Extraction failed, -[NSTask launch] threw exception '", 0), 0u);
}

TEST(ZRSUUnpipedUnarchiverTest, AnyOutputFailsEvenWithStatusZero) {
  test::TempFolder root;
  test::writeFile(root / "work/file.txt", "text");
  // An absolute member name: the copier strips the "/" and says so, exiting with 0.
  ASSERT_TRUE(runBsdtar({"--format", "zip", "-cf", root / "Warn.zip", "-P", "-s", ",^,/,", "file.txt"}, root / "work"));
  EXPECT_EQ(message(extract(root / "Warn.zip")),
            "Extraction failed, command '/usr/bin/ditto' returned 0 and string: bsdtar: Removing leading '/' from "
            "member names\n");
}

TEST(ZRSUUnpipedUnarchiverTest, NotAZipFailsWithTheCopiersStatusAndText) {
  test::TempFolder root;
  test::writeFile(root / "App.zip", "this is no archive at all");
  std::string text = message(extract(root / "App.zip"));
  EXPECT_EQ(text.rfind("Extraction failed, command '/usr/bin/ditto' returned 1 and string: ", 0), 0u) << text;
}

}  // namespace
}  // namespace vantor
