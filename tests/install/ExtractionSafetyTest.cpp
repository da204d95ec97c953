// Hostile archives: nothing may be written outside the destination folder, and an
// archive that expands without end or a tool that hangs must stop within the limits.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "ExtractionTestSupport.h"
#include "foundation/FileHelpers.h"
#include "platform/ExtractionWatch.h"
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
using test::writeFile;

// root/outside holds a victim file; archives go to root/archives and extract into
// root/archives/<name>_folder, two levels below root.
class ExtractionSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(root_ / "outside/victim", "original");
    fs::create_directories(root_ / "archives");
    fs::create_directories(root_ / "work");
  }
  std::string work() const { return root_ / "work"; }
  std::string archive(const std::string& name) const { return root_ / ("archives/" + name); }
  void expectOutsideUntouched() {
    EXPECT_EQ(folderEntries(root_ / "outside"), std::vector<std::string>{"victim"});
    EXPECT_EQ(contentsAsString(root_ / "outside/victim"), "original");
    EXPECT_EQ(folderEntries(root_.path()), (std::vector<std::string>{"archives", "outside", "work"}));
  }

  test::TempFolder root_;
};

TEST_F(ExtractionSafetyTest, NothingIsWrittenOutsideTheDestination) {
  writeFile(work() + "/d/evil", "evil");
  fs::create_directory_symlink(root_ / "outside", work() + "/abslink");
  fs::create_directory_symlink("../../outside", work() + "/rellink");
  const std::string outside = root_ / "outside";
  struct Case {
    std::string name;
    std::vector<std::string> members;  // bsdtar arguments after the format
  } cases[] = {
      {"dotdot", {"-s", ",^d/,../../outside/,", "d/evil"}},
      {"absolute", {"-P", "-s", ",^d/," + outside + "/,", "d/evil"}},
      {"absolute-link-then-file", {"-s", ",^d/,abslink/,", "abslink", "d/evil"}},
      {"relative-link-then-file", {"-s", ",^d/,rellink/,", "rellink", "d/evil"}},
  };
  for (const auto& c : cases) {
    for (const std::string format : {"zip", "tar.gz"}) {
      SCOPED_TRACE(c.name + "." + format);
      const std::string path = archive(c.name + "." + format);
      std::vector<std::string> arguments{"--format", format == "zip" ? "zip" : "ustar", format == "zip" ? "-c" : "-cz",
                                         "-f", path};
      arguments.insert(arguments.end(), c.members.begin(), c.members.end());
      ASSERT_TRUE(runBsdtar(arguments, work()));
      auto error = extract(path);
      // The copier says something about each case, and any output fails it.
      if (format == "zip") {
        EXPECT_TRUE(error);
      }
      expectOutsideUntouched();
    }
  }
}

TEST_F(ExtractionSafetyTest, HardLinkOutsideTheDestinationIsNotWrittenThrough) {
  writeFile(work() + "/a", "first");
  fs::create_hard_link(work() + "/a", work() + "/b");
  writeFile(work() + "/c", "overwritten through the link");
  const std::string tar = archive("hard.tar");
  // "../../outside/victim" as a file, "b" as a hard link to it, then "b" again as a file.
  ASSERT_TRUE(runBsdtar({"-cf", tar, "-s", ",^a$,../../outside/victim,", "a", "b"}, work()));
  ASSERT_TRUE(runBsdtar({"-rf", tar, "-s", ",^c$,b,", "c"}, work()));
  EXPECT_TRUE(extract(tar));
  expectOutsideUntouched();

  const std::string absolute = archive("hardabs.tar");
  ASSERT_TRUE(runBsdtar({"-cf", absolute, "-P", "-s", ",^a$," + (root_ / "outside/victim") + ",", "a", "b"}, work()));
  ASSERT_TRUE(runBsdtar({"-rf", absolute, "-s", ",^c$,b,", "c"}, work()));
  extract(absolute);
  expectOutsideUntouched();
}

TEST_F(ExtractionSafetyTest, ArchiveBombsStopAtTheByteLimit) {
  test::ScopedExtractionLimits limits({16u << 20, 1000, 120});
  ASSERT_TRUE(test::writeZipBomb(archive("bomb.zip"), 2048));
  ASSERT_TRUE(test::writeTarGzBomb(archive("bomb.tar.gz"), 2048));
  EXPECT_EQ(message(extract(archive("bomb.zip"))),
            "Extraction failed, command '/usr/bin/ditto' wrote more than the limit of 16777216 bytes");
  EXPECT_EQ(message(extract(archive("bomb.tar.gz"))),
            "Extraction failed, command '/usr/bin/tar' wrote more than the limit of 16777216 bytes");
  // Stopped long before the 2 GiB each would write.
  for (const char* folder : {"archives/bomb_folder", "archives/bomb.tar_folder"})
    EXPECT_LT(platform::measureFolder(root_ / folder).bytes, 512u << 20) << folder;
}

TEST_F(ExtractionSafetyTest, TooManyFilesStopAtTheEntryLimit) {
  test::ScopedExtractionLimits limits({1u << 30, 50, 120});
  for (int i = 0; i < 400; ++i) writeFile(work() + "/many/" + std::to_string(i), "");
  ASSERT_TRUE(runBsdtar({"--format", "zip", "-cf", archive("many.zip"), "many"}, work()));
  EXPECT_EQ(message(extract(archive("many.zip"))),
            "Extraction failed, command '/usr/bin/ditto' wrote more than the limit of 50 files");
}

TEST_F(ExtractionSafetyTest, ToolThatNeverEndsIsStoppedAtTheTimeLimit) {
  // A tar that neither reads its input nor ends, in place of bsdtar.
  writeFile(root_ / "bin/bsdtar", "#!/bin/sh\nPATH=/usr/bin:/bin exec sleep 60\n");
  ::chmod((root_ / "bin/bsdtar").c_str(), 0755);
  test::ScopedEnvironmentValue path("PATH", root_ / "bin");
  test::ScopedExtractionLimits limits({1u << 30, 1000, 1});
  writeFile(archive("App.tar.gz"), std::string(2 << 20, 'x'));
  writeFile(archive("App.zip"), std::string(1000, 'x'));
  EXPECT_EQ(message(extract(archive("App.tar.gz"))),
            "Extraction failed, command '/usr/bin/tar' did not finish within 1 seconds");
  EXPECT_EQ(message(extract(archive("App.zip"))),
            "Extraction failed, command '/usr/bin/ditto' did not finish within 1 seconds");
}

}  // namespace
}  // namespace vantor
