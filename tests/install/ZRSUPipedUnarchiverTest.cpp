#include "install/ZRSUPipedUnarchiver.h"

#include <gtest/gtest.h>

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

TEST(ZRSUPipedUnarchiverTest, EveryCompressionOfTheTableExtractsTheBundle) {
  test::TempFolder root;
  test::writeAppBundle(root / "work");
  struct Case {
    const char* name;
    std::vector<std::string> compression;
  } cases[] = {
      {"App.tar", {}},           {"App.tar.gz", {"-z"}},       {"App.tgz", {"-z"}},
      {"App.tar.bz2", {"-j"}},   {"App.tbz", {"-j"}},          {"App.tar.xz", {"-J"}},
      {"App.txz", {"-J"}},       {"App.tar.lzma", {"--lzma"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> arguments{"-c"};
    arguments.insert(arguments.end(), c.compression.begin(), c.compression.end());
    arguments.insert(arguments.end(), {"-f", root / c.name, "Demo.app"});
    ASSERT_TRUE(runBsdtar(arguments, root / "work"));
    EXPECT_EQ(extract(root / c.name), std::nullopt);
    const std::string destination = ZRSUUnarchiverProtocol::destinationFolder(root / c.name);
    EXPECT_EQ(folderEntries(destination), std::vector<std::string>{"Demo.app"});
    EXPECT_EQ(fs::read_symlink(destination + "/Demo.app/Contents/Frameworks/Kit.framework/Versions/Current"), "A");
  }
}

TEST(ZRSUPipedUnarchiverTest, FailuresCarryTheirMessages) {
  test::TempFolder root;
  test::writeAppBundle(root / "work");
  ASSERT_TRUE(runBsdtar({"-czf", root / "Good.tar.gz", "Demo.app"}, root / "work"));
  auto good = contents(root / "Good.tar.gz").value();

  test::writeFile(root / "Empty.tar.gz", "");
  test::writeFile(root / "Cut.tar.gz", std::string(good.begin(), good.begin() + good.size() / 2));
  test::writeFile(root / "Noise.tar", std::string(300000, 'x'));
  struct Case {
    std::string name;
    std::string message;
  } cases[] = {
      {"Empty.tar.gz", "Extraction failed, archive '" + (root / "Empty.tar.gz") + "' is empty"},
      {"Cut.tar.gz", "Extraction failed, command '/usr/bin/tar' returned 1"},
      {"Noise.tar", "Extraction failed, command '/usr/bin/tar' returned 1"},
      {"Missing.tar", "Extraction failed, archive '" + (root / "Missing.tar") + "' is empty"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(message(extract(root / c.name)), c.message);
  }
}

}  // namespace
}  // namespace vantor
