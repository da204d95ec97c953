#include "install/ZRSUDiskImageUnarchiver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "ExtractionTestSupport.h"
#include "foundation/FileHelpers.h"
#include "platform/DiskImageTool.h"
#include "platform/UserDefaults.h"
#include "support/ArchiveFixtures.h"
#include "support/TestSupport.h"
#include "support/UdifImage.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;
using test::extract;
using test::folderEntries;
using test::TempFolder;
using test::UdifChunk;
using test::UdifOptions;
using test::writeFile;

// Each test gets its own temporary folder (and so its own volumes folder) and home.
class ZRSUDiskImageUnarchiverTest : public ::testing::Test {
 protected:
  ZRSUDiskImageUnarchiverTest()
      : tmp_("TMPDIR", root_ / "tmp"), home_("HOME", root_ / "home") {
    fs::create_directories(root_ / "tmp");
  }

  // An ISO volume holding Demo.app, ".Spotlight-V100" and the usual "Applications" link.
  std::string isoBytes() {
    const std::string volume = root_ / "volume";
    test::writeAppBundle(volume);
    writeFile(volume + "/.Spotlight-V100/Store-V2/index", "index");
    fs::create_directory_symlink("/Applications", volume + "/Applications");
    auto iso = test::makeIsoImage(volume, "Demo");
    if (!iso) ADD_FAILURE() << "no ISO maker (genisoimage or xorriso)";
    return iso.value_or("");
  }
  std::string image(const std::string& name, const UdifOptions& options = {}) {
    const std::string path = root_ / name;
    EXPECT_TRUE(test::writeUdifImage(iso_.empty() ? (iso_ = isoBytes()) : iso_, path, options));
    return path;
  }
  std::vector<std::string> volumes() { return folderEntries(platform::DiskImageTool::volumesDirectory()); }

  test::TempFolder root_;
  test::ScopedEnvironmentValue tmp_;
  test::ScopedEnvironmentValue home_;
  std::string iso_;
};

TEST_F(ZRSUDiskImageUnarchiverTest, ImagesWithEveryChunkKindExtractTheBundleOnly) {
  struct Case {
    const char* name;
    UdifOptions options;
  } cases[] = {
      {"zlib.dmg", {.chunks = {UdifChunk::Zlib}}},
      {"bzip2.dmg", {.chunks = {UdifChunk::Bzip2}}},
      {"raw.dmg", {.chunks = {UdifChunk::Raw}}},
      {"mixed.dmg",
       {.chunks = {UdifChunk::Raw, UdifChunk::Zlib, UdifChunk::Bzip2, UdifChunk::Zero}, .sectorsPerChunk = 64}},
      {"licence.dmg", {.chunks = {UdifChunk::Zlib}, .licenceAgreement = true}},
      {"hfs-named-no-checksum.dmg",
       {.chunks = {UdifChunk::Bzip2}, .partitionName = "disk image (Apple_HFS : 1)", .crc32Checksum = false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = image(c.name, c.options);
    EXPECT_EQ(extract(path), std::nullopt);
    const std::string destination = ZRSUUnarchiverProtocol::destinationFolder(path);
    // ".Spotlight-V100" is skipped, and the "Applications" link cannot be read here.
    EXPECT_EQ(folderEntries(destination), std::vector<std::string>{"Demo.app"});
    struct stat st {};
    EXPECT_EQ(::stat((destination + "/Demo.app/Contents/MacOS/Demo").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    EXPECT_EQ(fs::read_symlink(destination + "/Demo.app/Contents/Frameworks/Kit.framework/Versions/Current"), "A");
    EXPECT_EQ(volumes(), std::vector<std::string>{});  // detached
  }
}

TEST_F(ZRSUDiskImageUnarchiverTest, RealHfsImageShowsTheVolumesRoot) {
  const fs::path fixture =
      fs::path(test::sourceDir()) / "../shared/fixtures/disk-images/hfsplus-app.dmg";
  if (!fs::exists(fixture)) GTEST_SKIP() << "no " << fixture;
  const std::string path = root_ / "Sparkle Test App.dmg";
  fs::copy_file(fixture, path);

  // The mounted volume, as the tool leaves it.
  const std::string mount = platform::DiskImageTool::volumesDirectory() + "/HFS";
  auto attached = platform::DiskImageTool::run({"attach", path, "-mountpoint", mount, "-nobrowse"}, "yes\n");
  ASSERT_EQ(attached.status, 0) << attached.errorOutput;
  EXPECT_NE(attached.output.find("Apple_HFS"), std::string::npos);
  EXPECT_EQ(folderEntries(mount), (std::vector<std::string>{".DS_Store", ".Trashes", ".background", "Applications",
                                                             "SparkleTestCodeSignApp.app"}));
  EXPECT_EQ(fs::read_symlink(mount + "/Applications"), "/Applications");
  EXPECT_EQ(platform::DiskImageTool::run({"detach", mount, "-force"}, "").status, 0);
  EXPECT_FALSE(fileExists(mount));

  EXPECT_EQ(extract(path), std::nullopt);
  const std::string app = (root_ / "Sparkle Test App_folder") + "/SparkleTestCodeSignApp.app";
  EXPECT_TRUE(fileIsDirectory(app + "/Contents/MacOS"));
  EXPECT_TRUE(fileExists(app + "/Contents/Info.plist"));
  EXPECT_EQ(fs::read_symlink(app + "/Contents/Frameworks/Sparkle.framework/Versions/Current"), "A");
  EXPECT_EQ(fs::read_symlink(app + "/Contents/Frameworks/Sparkle.framework/Sparkle"), "Versions/Current/Sparkle");
  EXPECT_EQ(volumes(), std::vector<std::string>{});
}

TEST_F(ZRSUDiskImageUnarchiverTest, DamagedImageIsReportedAsChecksumError) {
  struct Case {
    const char* name;
    UdifOptions options;
  } cases[] = {
      {"zlib.dmg", {.chunks = {UdifChunk::Zlib}}},  // fails to decompress
      {"raw.dmg", {.chunks = {UdifChunk::Raw}}},    // reads, but its CRC32 differs
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = image(c.name, c.options);
    ASSERT_TRUE(test::damageUdifImage(path));
    auto error = extract(path);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "SUSparkleErrorDomain");
    EXPECT_EQ(error->code, 3000);
    EXPECT_EQ(error->userInfo, (Json{{"info", "extractDMG failed"}, {"error", "err1crc"}}));
    EXPECT_EQ(folderEntries(ZRSUUnarchiverProtocol::destinationFolder(path)), std::vector<std::string>{});
    EXPECT_EQ(volumes(), std::vector<std::string>{});
  }
}

TEST_F(ZRSUDiskImageUnarchiverTest, UnreadableImagesFailToAttach) {
  const std::string good = contentsAsString(image("good.dmg")).value();
  test::writeAppBundle(root_ / "work");
  ASSERT_TRUE(test::runBsdtar({"--format", "zip", "-cf", root_ / "app.zip", "Demo.app"}, root_ / "work"));
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty.dmg", ""},
      {"truncated.dmg", good.substr(0, good.size() / 2)},
      {"noise.dmg", std::string(100000, '\x5a')},
      {"zip.dmg", contentsAsString(root_ / "app.zip").value()},
      // An encrypted image's header: 7-Zip knows it but cannot open it.
      {"encrypted.dmg", std::string("encrcdsa\0\0\0\x02", 12) + std::string(20000, '\x17')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(root_ / c.name, c.bytes);
    auto error = extract(root_ / c.name);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 3000);
    EXPECT_EQ(error->userInfo["info"], "extractDMG failed");
    const std::string text = error->userInfo["error"].get<std::string>();
    EXPECT_EQ(text.rfind("hdiutil failed with code: 1 data: <<>> error: <<", 0), 0u) << text;
    EXPECT_NE(text.find("hdiutil: attach failed - "), std::string::npos) << text;
    EXPECT_EQ(volumes(), std::vector<std::string>{});
  }
}

TEST_F(ZRSUDiskImageUnarchiverTest, NameCollisionFailsTheCopyAndStillDetaches) {
  const std::string path = image("App.dmg");
  writeFile(root_ / "App_folder/Demo.app", "already here");
  auto error = extract(path);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, "NSCocoaErrorDomain");
  EXPECT_EQ(error->code, 516);
  EXPECT_EQ(contentsAsString(root_ / "App_folder/Demo.app"), "already here");
  EXPECT_EQ(volumes(), std::vector<std::string>{});
}

TEST_F(ZRSUDiskImageUnarchiverTest, LiveOutputDefaultCountsDown) {
  const std::string path = image("App.dmg");
  auto& defaults = platform::UserDefaults::standard();
  ASSERT_TRUE(defaults.setObject(ZRSUDiskImageUnarchiver::kLiveOutputDefault, 3));
  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE(run);
    removeItem(root_ / "App_folder");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(extract(path), std::nullopt);
    const std::string log = ::testing::internal::GetCapturedStderr();
    const bool live = run < 2;
    EXPECT_EQ(log.find("HDIUTIL std output: /dev/disk") != std::string::npos, live) << log;
    EXPECT_EQ(log.find("HDIUTIL DONE - termination handler") != std::string::npos, live);
    EXPECT_EQ(log.find("HDIUTIL DONE result 0") != std::string::npos, live);
    EXPECT_EQ(folderEntries(root_ / "App_folder"), std::vector<std::string>{"Demo.app"});
  }
  EXPECT_EQ(defaults.objectForKey(ZRSUDiskImageUnarchiver::kLiveOutputDefault), Json(1));
}

TEST_F(ZRSUDiskImageUnarchiverTest, ImageLargerThanTheLimitIsRefusedBeforeExtracting) {
  const std::string path = image("App.dmg");
  test::ScopedExtractionLimits limits({100, 1000, 60});
  auto error = extract(path);
  ASSERT_TRUE(error);
  EXPECT_NE(error->userInfo["error"].get<std::string>().find("holds more than an extraction may write"),
            std::string::npos);
  EXPECT_EQ(volumes(), std::vector<std::string>{});
}

TEST_F(ZRSUDiskImageUnarchiverTest, LinkLeavingTheVolumeFailsTheAttach) {
  const std::string volume = root_ / "evil";
  test::writeAppBundle(volume);
  fs::create_directory_symlink("../../../../../../../../etc", volume + "/Demo.app/Contents/up");
  auto iso = test::makeIsoImage(volume, "Evil");
  ASSERT_TRUE(iso);
  ASSERT_TRUE(test::writeUdifImage(*iso, root_ / "Evil.dmg"));
  auto error = extract(root_ / "Evil.dmg");
  ASSERT_TRUE(error);
  EXPECT_NE(error->userInfo["error"].get<std::string>().find("Dangerous link"), std::string::npos);
  EXPECT_EQ(volumes(), std::vector<std::string>{});
}

TEST_F(ZRSUDiskImageUnarchiverTest, PasswordReachesSevenZipOnlyWhenSetAndInputIsClosed) {
  // A 7-Zip stand-in that records its arguments and what it reads, then fails.
  const std::string record = root_ / "record";
  writeFile(root_ / "bin/7zz",
                "#!/bin/sh\nPATH=/usr/bin:/bin\necho \"$*\" >> '" + record + "'\necho \"input:$(cat)\" >> '" +
                    record + "'\nexit 2\n");
  ::chmod((root_ / "bin/7zz").c_str(), 0755);
  test::ScopedEnvironmentValue path("PATH", root_ / "bin");
  writeFile(root_ / "App.dmg", "image");

  EXPECT_TRUE(ZRSUDiskImageUnarchiver(root_ / "App.dmg", std::nullopt).unarchive());
  EXPECT_TRUE(ZRSUDiskImageUnarchiver(root_ / "App.dmg", "s3cret").unarchive());
  EXPECT_EQ(contentsAsString(record), "l -slt -bd -- " + (root_ / "App.dmg") + "\ninput:\n" +
                                          "l -slt -bd -ps3cret -- " + (root_ / "App.dmg") + "\ninput:\n");
}

TEST(ZRSUDiskImageUnarchiverDetachTest, ApfsImageIsDetachedThroughItsWholeDisk) {
  const std::string apfs =
      "/dev/disk4          \tGUID_partition_scheme          \t\n"
      "/dev/disk4s1        \tApple_APFS                     \t\n"
      "/dev/disk5          \tEF57347C-0000-11AA-AA11-0030654\t\n"
      "/dev/disk5s1        \t41504653-0000-11AA-AA11-00306543ECAC\t/Volumes/X\n";
  EXPECT_EQ(ZRSUDiskImageUnarchiver::detachTarget(apfs, "/Volumes/X"), "/dev/disk4");
  const std::string hfs =
      "/dev/disk4          \tGUID_partition_scheme          \t\n"
      "/dev/disk4s1        \tApple_HFS                      \t/Volumes/X\n";
  EXPECT_EQ(ZRSUDiskImageUnarchiver::detachTarget(hfs, "/Volumes/X"), "/Volumes/X");
}

TEST(DiskImageToolTest, DetachRemovesOnlyFoldersInTheVolumesFolder) {
  test::TempFolder root;
  writeFile(root / "keep/file", "kept");
  auto result = platform::DiskImageTool::run({"detach", root / "keep", "-force"}, "");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.errorOutput, "hdiutil: detach failed - No such file or directory\n");
  EXPECT_EQ(contentsAsString(root / "keep/file"), "kept");
  EXPECT_EQ(platform::DiskImageTool::run({"detach", "/dev/disk99", "-force"}, "").status, 1);
  EXPECT_EQ(platform::DiskImageTool::run({"attach", root / "x.dmg", "-mountpoint", root / "keep"}, "").status, 1);
  EXPECT_EQ(contentsAsString(root / "keep/file"), "kept");
}

}  // namespace
}  // namespace vantor
