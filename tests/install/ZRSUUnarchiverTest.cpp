#include "install/ZRSUUnarchiver.h"

#include <gtest/gtest.h>

#include "install/ZRSUDiskImageUnarchiver.h"
#include "install/ZRSUPipedUnarchiver.h"
#include "install/ZRSUUnarchiverNotifier.h"
#include "install/ZRSUUnpipedUnarchiver.h"
#include "platform/RunLoop.h"

namespace vantor {
namespace {

TEST(ZRSUUnarchiverTest, FactoryPicksTheExtractorFromTheFileName) {
  struct Case {
    const char* path;
    const char* extractor;  // nullptr: no extractor
    std::vector<std::string> row;
  } cases[] = {
      {"/tmp/x/App.zip", "ZRSUUnpipedUnarchiver", {"/usr/bin/ditto", "-x", "-k"}},
      {"/tmp/x/App.tar", "ZRSUPipedUnarchiver", {"/usr/bin/tar", "-xC"}},
      {"/tmp/x/App.tar.gz", "ZRSUPipedUnarchiver", {"/usr/bin/tar", "-zxC"}},
      {"/tmp/x/App.tgz", "ZRSUPipedUnarchiver", {"/usr/bin/tar", "-zxC"}},
      {"/tmp/x/App.tar.bz2", "ZRSUPipedUnarchiver", {"/usr/bin/tar", "-jxC"}},
      {"/tmp/x/App.tbz", "ZRSUPipedUnarchiver", {"/usr/bin/tar", "-jxC"}},
      {"/tmp/x/App.tar.xz", "ZRSUPipedUnarchiver", {"/usr/bin/tar", "-zxC"}},
      {"/tmp/x/App.txz", "ZRSUPipedUnarchiver", {"/usr/bin/tar", "-zxC"}},
      {"/tmp/x/App.tar.lzma", "ZRSUPipedUnarchiver", {"/usr/bin/tar", "-zxC"}},
      {"/tmp/x/App.dmg", "ZRSUDiskImageUnarchiver", {}},
      {"/tmp/x/App.ZIP", nullptr, {}},
      {"/tmp/x/App.DMG", nullptr, {}},
      {"/tmp/x/App.Tar.Gz", nullptr, {}},
      {"/tmp/x/App.7z", nullptr, {}},
      {"/tmp/x/App.gz", nullptr, {}},
      {"/tmp/x/App.pkg", nullptr, {}},
      {"/tmp/x/App.dmg.part", nullptr, {}},
      {"/tmp/x.zip/App", nullptr, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    auto unarchiver = ZRSUUnarchiver::unarchiverForPath(c.path, std::nullopt, std::nullopt);
    if (c.extractor == nullptr) {
      EXPECT_EQ(unarchiver, nullptr);
      continue;
    }
    ASSERT_NE(unarchiver, nullptr);
    EXPECT_EQ(unarchiver->description(), std::string(c.extractor) + " <" + c.path + ">");
    EXPECT_EQ(unarchiver->archivePath(), c.path);
    auto row = ZRSUUnpipedUnarchiver::commandAndArgumentsConformingToTypeOfPath(c.path);
    if (!row) row = ZRSUPipedUnarchiver::commandAndArgumentsConformingToTypeOfPath(c.path);
    EXPECT_EQ(row.value_or(std::vector<std::string>{}), c.row);
  }
  EXPECT_FALSE(ZRSUUnpipedUnarchiver::unsafeIfArchiveIsNotValidated());
  EXPECT_FALSE(ZRSUPipedUnarchiver::unsafeIfArchiveIsNotValidated());
  EXPECT_FALSE(ZRSUDiskImageUnarchiver::unsafeIfArchiveIsNotValidated());
}

TEST(ZRSUUnarchiverTest, OnlyTheDiskImageExtractorTakesThePassword) {
  auto image = ZRSUUnarchiver::unarchiverForPath("/tmp/App.dmg", "/Applications/Host.app", "secret");
  auto* diskImage = dynamic_cast<ZRSUDiskImageUnarchiver*>(image.get());
  ASSERT_NE(diskImage, nullptr);
  EXPECT_EQ(diskImage->decryptionPassword(), "secret");
  auto none = ZRSUUnarchiver::unarchiverForPath("/tmp/App.dmg", std::nullopt, std::nullopt);
  EXPECT_EQ(dynamic_cast<ZRSUDiskImageUnarchiver*>(none.get())->decryptionPassword(), std::nullopt);
}

TEST(ZRSUUnarchiverTest, DestinationIsTheNameWithoutItsLastExtensionPlusFolder) {
  EXPECT_EQ(ZRSUUnarchiverProtocol::destinationFolder("/tmp/x/App-2.1.zip"), "/tmp/x/App-2.1_folder");
  EXPECT_EQ(ZRSUUnarchiverProtocol::destinationFolder("/tmp/x/Tool.tar.gz"), "/tmp/x/Tool.tar_folder");
  EXPECT_EQ(ZRSUUnarchiverProtocol::destinationFolder("/tmp/x/Disk Image.dmg"), "/tmp/x/Disk Image_folder");
}

TEST(ZRSUUnarchiverNotifierTest, ReportsOnTheMainQueueAndWrapsTheError) {
  platform::markMainThread();
  std::vector<std::string> events;
  std::optional<Error> failure;
  ZRSUUnarchiverNotifier notifier(
      [&](std::optional<Error> error) {
        events.push_back(error ? "failure" : "success");
        if (error) failure = error;
        EXPECT_TRUE(platform::isMainThread());
      },
      [&](double progress) { events.push_back("progress " + std::to_string(static_cast<int>(progress * 100))); });
  notifier.notifyProgress(0.5);
  notifier.notifySuccess();
  notifier.notifyFailureWithError(Error("SUSparkleErrorDomain", 3000, Json{{"NSLocalizedDescription", "inner"}}));
  EXPECT_TRUE(events.empty());  // nothing before the main queue runs
  platform::postToMainQueue([] { platform::stopMainLoop(0); });
  platform::runMainLoop();

  EXPECT_EQ(events, (std::vector<std::string>{"progress 50", "success", "failure"}));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->domain, "SUSparkleErrorDomain");
  EXPECT_EQ(failure->code, 3000);
  EXPECT_EQ(failure->localizedDescription(), "An error occurred while extracting the archive. Please try again later.");
  EXPECT_EQ(failure->userInfo["NSUnderlyingError"]["userInfo"]["NSLocalizedDescription"], "inner");

  // Without a progress block nothing is queued.
  ZRSUUnarchiverNotifier quiet([](std::optional<Error>) {}, nullptr);
  quiet.notifyProgress(1.0);
}

}  // namespace
}  // namespace vantor
