#include <gtest/gtest.h>

#include "ExtractionTestSupport.h"
#include "foundation/FileHelpers.h"
#include "foundation/Json.h"
#include "platform/ChildProcess.h"
#include "support/ArchiveFixtures.h"
#include "support/TestSupport.h"
#include "support/UdifImage.h"
#include "vantor/BuildSettings.h"

namespace vantor {
namespace {

using test::folderEntries;
using test::TempFolder;

struct Outcome {
  int status;
  std::string output;
};

Outcome inspect(const std::vector<std::string>& arguments, const std::string& tmp) {
  std::vector<std::string> argv{test::binaryPath("vantor-inspect")};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  platform::RunOptions options;
  options.mergeStderr = false;
  options.timeoutSeconds = 120;
  options.environment = {{"TMPDIR", tmp}};
  auto result = platform::runProcess(argv, options);
  EXPECT_TRUE(result.launched) << result.launchError;
  return {result.status, result.output};
}

TEST(ArchiveCommandTest, ReportsExtractorAndTopLevelOrErrorAndCleansUp) {
  test::TempFolder root;
  const std::string tmp = root / "tmp";
  createDirectories(tmp);
  test::writeAppBundle(root / "work");
  ASSERT_TRUE(test::runBsdtar({"--format", "zip", "-cf", root / "Demo.zip", "Demo.app"}, root / "work"));
  auto iso = test::makeIsoImage(root / "work", "Demo");
  ASSERT_TRUE(iso);
  ASSERT_TRUE(test::writeUdifImage(*iso, root / "Demo.dmg"));
  ASSERT_TRUE(test::writeUdifImage(*iso, root / "Damaged.dmg"));
  ASSERT_TRUE(test::damageUdifImage(root / "Damaged.dmg"));
  test::writeFile(root / "Demo.7z", "7z");

  auto zip = inspect({"archive", root / "Demo.zip", "--json"}, tmp);
  EXPECT_EQ(zip.status, 0);
  Json report = Json::parse(zip.output);
  EXPECT_EQ(report["extractor"], "ZRSUUnpipedUnarchiver");
  EXPECT_EQ(report["destination"], "Demo_folder");
  EXPECT_EQ(report["entries"], Json::parse(R"([{"name":"Demo.app","type":"directory"}])"));

  auto image = inspect({"archive", root / "Demo.dmg"}, tmp);
  EXPECT_EQ(image.status, 0);
  EXPECT_EQ(image.output, "file: " + (root / "Demo.dmg") +
                              "\nextractor: ZRSUDiskImageUnarchiver\ndestination: Demo_folder\nentries:\n  Demo.app/\n");

  auto damaged = inspect({"archive", root / "Damaged.dmg", "--json"}, tmp);
  EXPECT_EQ(damaged.status, 1);
  report = Json::parse(damaged.output);
  EXPECT_EQ(report["error"]["domain"], "SUSparkleErrorDomain");
  EXPECT_EQ(report["error"]["code"], 3000);
  EXPECT_EQ(report["error"]["message"], "err1crc");

  auto unknown = inspect({"archive", root / "Demo.7z"}, tmp);
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.output.find("extractor: (none)"), std::string::npos);

  EXPECT_EQ(inspect({"archive"}, tmp).status, 2);
  EXPECT_EQ(inspect({"archive", root / "missing.zip"}, tmp).status, 2);
  EXPECT_EQ(inspect({"unknown-command"}, tmp).status, 2);

  // The copies and their folders are gone (the volumes folder stays, empty, like
  // "/Volumes"); the originals have no folder beside them.
  for (const auto& name : folderEntries(tmp)) {
    EXPECT_EQ(name.rfind(build::kBundleIdentifier, 0), 0u) << name;
    EXPECT_NE(name.find(".volumes-"), std::string::npos) << name;
    EXPECT_EQ(folderEntries(tmp + "/" + name), std::vector<std::string>{});
  }
  EXPECT_FALSE(fileExists(root / "Demo_folder"));
}

}  // namespace
}  // namespace vantor
