// One download attempt end to end, from a loopback server through detection, extraction,
// the tree search and the install, for the kinds of archives the pipeline meets.

#include <algorithm>
#include <atomic>
#include <functional>

#include <ostream>

#include "PipelineFixture.h"
#include "foundation/StringHelpers.h"
#include "install/DownloadedFileType.h"

namespace vantor::test {
namespace {

struct Download {
  std::string path;  // on the server
  std::string bytes;
};

std::string zipOfApps(const std::function<void(const std::string&)>& fill) {
  TempFolder stage;
  fill(stage.path());
  return archiveOf(stage.path(), "zip");
}

Download fooZip(const std::string& path = "/Foo.zip") {
  return {path, zipOfApps([](const std::string& stage) { writeApp(stage, "Foo.app", kBundleID); })};
}

// Bytes that are no archive, with a chosen head and total length.
std::string junk(const std::string& head, std::size_t length) {
  std::string bytes = head;
  bytes.resize(length, '\x5A');
  return bytes;
}

struct ArchiveCase {
  const char* name;
  std::function<Download()> download;
  long code;                  // 0: installed
  std::vector<long> events;   // error events in order
  bool scratchKept = false;   // the installer runs from it
};

class AppInstallHelperArchiveTest : public PipelineTest, public ::testing::WithParamInterface<ArchiveCase> {};

void PrintTo(const ArchiveCase& c, std::ostream* out) { *out << c.name; }

const ArchiveCase kArchiveCases[] = {
    {"Zip", [] { return fooZip(); }, 0, {}},
    {"TarGz",
     [] {
       TempFolder stage;
       writeApp(stage.path(), "Foo.app", kBundleID);
       return Download{"/Foo.tar.gz", archiveOf(stage.path(), "tgz")};
     },
     0, {}},
    {"ZipBytesBehindScriptName", [] { return fooZip("/get.php"); }, 0, {}},
    {"FirstByteXIsTakenAsDiskImage", [] { return Download{"/download", junk("x", 4000)}; }, 15, {15}},
    {"KolyTrailerIsTakenAsDiskImage",
     [] {
       std::string bytes = junk("JUNK", 1024);
       bytes.replace(1024 - 512, 4, "koly");
       return Download{"/download", bytes};
     },
     15, {15}},
    {"UnknownMagicFallsBackToDiskImageWithEvent", [] { return Download{"/download", junk("ABCD", 512)}; }, 15,
     {25, 15}},
    {"HtmlErrorPage",
     [] { return Download{"/Foo.zip", "<!DOCTYPE html><html><body>502 Bad Gateway</body></html>\n"}; }, 15, {15}},
    {"ZipWithoutEntries", [] { return Download{"/Foo.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0')}; },
     18, {18}},
    {"WrongIdentifier",
     [] {
       return Download{"/Foo.zip", zipOfApps([](const std::string& s) { writeApp(s, "Foo.app", "com.example.other"); })};
     },
     18, {18}},
    {"OnlyUninstaller",
     [] {
       return Download{"/Foo.zip",
                       zipOfApps([](const std::string& s) { writeApp(s, "Uninstall Foo.app", "com.example.remover"); })};
     },
     18, {18}},
    {"InstallerNextToApp",
     [] {
       return Download{"/Foo.zip", zipOfApps([](const std::string& s) {
                         writeApp(s, "Install Foo.app", "com.example.installer");
                         writeApp(s, "Foo.app", kBundleID);
                       })};
     },
     0, {}},
    {"OnlyInstallerApp",
     [] {
       return Download{"/Foo.zip",
                       zipOfApps([](const std::string& s) { writeApp(s, "Foo Installer.app", "com.example.installer"); })};
     },
     17, {35}, true},
    {"PackageDownload", [] { return Download{"/Foo.pkg", junk("xar!", 2048)}; }, 17, {}, true},
    {"NestedZipTwoFoldersDeep",
     [] {
       std::string inner = zipOfApps([](const std::string& s) { writeApp(s, "Foo.app", kBundleID); });
       return Download{"/Outer.zip", zipOfApps([&](const std::string& s) { writeFile(s + "/a/Foo.zip", inner); })};
     },
     0, {}},
    {"NestedZipThreeFoldersDeepIsLeftAlone",
     [] {
       std::string inner = zipOfApps([](const std::string& s) { writeApp(s, "Foo.app", kBundleID); });
       return Download{"/Outer.zip", zipOfApps([&](const std::string& s) { writeFile(s + "/a/b/Foo.zip", inner); })};
     },
     18, {18}},
    {"NestedZipInsideAppIsLeftAlone",
     [] {
       std::string inner = zipOfApps([](const std::string& s) { writeApp(s, "Foo.app", kBundleID); });
       return Download{"/Outer.zip", zipOfApps([&](const std::string& s) {
                         writeApp(s, "Bar.app", "com.example.bar");
                         writeFile(s + "/Bar.app/Contents/Foo.zip", inner);
                       })};
     },
     18, {18}},
    {"BrokenNestedArchiveIsReportedAndSkipped",
     [] {
       return Download{"/Outer.zip", zipOfApps([](const std::string& s) {
                         writeApp(s, "Foo.app", kBundleID);
                         writeFile(s + "/Extras.zip", "not a zip");
                       })};
     },
     0, {15}},
    {"AdwareMarker",
     [] {
       return Download{"/Foo.zip", zipOfApps([](const std::string& s) {
                         writeApp(s, "Foo.app", kBundleID);
                         writeFile(s + "/Foo.app/Contents/Resources/sdk/adserver/adManager.js", "ads();");
                       })};
     },
     5, {5}},
    {"MinimumSystemTooNewFirstMatchWins",
     [] {
       // The nested copy would pass, but the outer app comes first in any listing order.
       return Download{"/Foo.zip", zipOfApps([](const std::string& s) {
                         writeApp(s, "Foo.app", kBundleID, "10.16");
                         writeApp(s + "/Foo.app/Contents/Helpers", "Foo.app", kBundleID, "10.9");
                       })};
     },
     16, {16}},
};

TEST_P(AppInstallHelperArchiveTest, EndsAsExpected) {
  const ArchiveCase& c = GetParam();
  Download download = c.download();
  serve(download.path, download.bytes);

  Outcome outcome = installFrom(url(download.path));

  EXPECT_EQ(outcome.code(), c.code) << (outcome.error ? outcome.error->description() : "");
  EXPECT_EQ(eventCodes(), c.events);
  if (c.code == 0) {
    EXPECT_EQ(outcome.finalPath, target() + "/Foo.app");
    EXPECT_TRUE(std::filesystem::is_regular_file(target() + "/Foo.app/Contents/Info.plist"));
    EXPECT_EQ(progressMessages().back(), "Finished!");
  } else {
    EXPECT_TRUE(targetEntries().empty()) << "nothing may reach the target folder";
  }
  auto left = leftScratchFolders();
  EXPECT_EQ(left.size(), c.scratchKept ? 1U : 0U) << "scratch folders left: " << left.size();
}

INSTANTIATE_TEST_SUITE_P(Downloads, AppInstallHelperArchiveTest, ::testing::ValuesIn(kArchiveCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Details that the table does not show ---

TEST_F(PipelineTest, ScriptNameWithZipBytesIsRenamedAfterGuessing) {
  Download download = fooZip("/get.php");
  serve(download.path, download.bytes);
  installFrom(url(download.path));
  EXPECT_TRUE(posted("Guessing file extension…"));
  EXPECT_TRUE(events().empty());
}

TEST_F(PipelineTest, UpperCaseDmgGoesThroughDetectionAndInstalls) {
  TempFolder stage;
  writeApp(stage.path(), "Foo.app", kBundleID);
  auto image = udifOf(stage.path());
  if (!image) GTEST_SKIP() << "no ISO maker";
  serve("/App.DMG", *image);

  Outcome outcome = installFrom(url("/App.DMG"));

  EXPECT_FALSE(outcome.error) << outcome.error->description();
  EXPECT_TRUE(posted("Guessing file extension…"));
  EXPECT_TRUE(events().empty()) << "the koly trailer is recognised: no event 25";
  EXPECT_TRUE(std::filesystem::is_directory(target() + "/Foo.app/Contents/MacOS"));
}

TEST_F(PipelineTest, UnknownMagicEventCarriesSizeAndFirstWord) {
  serve("/download", junk("ABCD", 512));
  installFrom(url("/download"));
  auto recorded = events();
  ASSERT_FALSE(recorded.empty());
  EXPECT_EQ(recorded[0].code, 25);
  EXPECT_EQ(recorded[0].info["_fileSize"], 512);
  EXPECT_EQ(recorded[0].info["magicNum"], 0x44434241U);
  EXPECT_EQ(recorded[0].info["bundleIdentifier"], kBundleID);
  EXPECT_EQ(recorded[0].info["downloadURL"], url("/download"));
}

TEST_F(PipelineTest, ExtractionFailureReportsAndCarriesTheData) {
  std::string page = "<html><body>Not here</body></html>";
  serve("/Foo.zip", page);

  Outcome outcome = installFrom(url("/Foo.zip"));

  ASSERT_TRUE(outcome.error);
  const Json& info = outcome.error->userInfo;
  EXPECT_EQ(info["_downloadedFileSize"], page.size());
  EXPECT_EQ(info["tmpFilePathSizeString"], std::to_string(page.size()));
  EXPECT_EQ(info["@(writeSucc)"], true);
  EXPECT_EQ(info["computedSHA256"], "skipped");
  EXPECT_EQ(info["caskSHA256"], "(null)");
  EXPECT_EQ(info["caskName"], url("/Foo.zip")) << "a feed attempt reports its URL as the cask name";
  ASSERT_TRUE(info["downloadedFileData"].is_binary());
  EXPECT_EQ(info["downloadedFileData"].get_binary().size(), page.size());
  auto recorded = events();
  ASSERT_EQ(recorded.size(), 1U);
  EXPECT_FALSE(recorded[0].info.contains("downloadedFileData"));
  EXPECT_EQ(recorded[0].info["errorDescription"], info["errorDescription"]);
}

TEST_F(PipelineTest, OnlyUninstallerListsOneDroppedCandidate) {
  serve("/Foo.zip", zipOfApps([](const std::string& s) { writeApp(s, "Uninstall Foo.app", "com.example.remover"); }));

  Outcome outcome = installFrom(url("/Foo.zip"));

  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->userInfo["droppedCandidatedsMessages"],
            Json::array({"bid: com.example.foo=>com.example.remover"}));
  auto recorded = events();
  ASSERT_EQ(recorded.size(), 1U);
  EXPECT_EQ(recorded[0].info["droppedCandidatedsInfo"], "bid: com.example.foo=>com.example.remover");
  EXPECT_EQ(recorded[0].info["@(weAreDoingCaskRetry)"], false);
  EXPECT_EQ(workspaceEvents().size(), 0U) << "an uninstaller is never handed to the system";
}

TEST_F(PipelineTest, InstallerAppIsLaunchedAndScratchKept) {
  serve("/Foo.zip", zipOfApps([](const std::string& s) { writeApp(s, "Foo Installer.app", "com.example.installer"); }));

  Outcome outcome = installFrom(url("/Foo.zip"));

  ASSERT_TRUE(outcome.error);
  const Json& info = outcome.error->userInfo;
  EXPECT_EQ(info["installerBundleID"], "(null)");
  ASSERT_TRUE(info["tmpDir"].is_string());
  EXPECT_TRUE(hasPrefix(info["extractedAppPKG"].get<std::string>(), "file://"));
  EXPECT_TRUE(hasSuffix(info["extractedAppPKG"].get<std::string>(), "/Foo%20Installer.app") ||
              hasSuffix(info["extractedAppPKG"].get<std::string>(), "/Foo Installer.app"));
  auto launched = workspaceEvents();
  ASSERT_EQ(launched.size(), 1U);
  EXPECT_EQ(launched[0]["action"], "launch");
  EXPECT_TRUE(std::filesystem::is_directory(launched[0]["path"].get<std::string>()))
      << "the installer stays where it was extracted";
  EXPECT_EQ(events()[0].info["installerBundleID"], "(null)");
}

TEST_F(PipelineTest, PackageIsOpenedWithoutExtraction) {
  serve("/Foo.pkg", junk("xar!", 2048));
  Outcome outcome = installFrom(url("/Foo.pkg"));
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->code, kErrorInstallOnlyInstaller);
  auto opened = workspaceEvents();
  ASSERT_EQ(opened.size(), 1U);
  EXPECT_EQ(opened[0]["action"], "open");
  EXPECT_TRUE(hasSuffix(opened[0]["path"].get<std::string>(), "/Foo.pkg"));
}

TEST_F(PipelineTest, NewerMinimumSystemCarriesThePlist) {
  serve("/Foo.zip", zipOfApps([](const std::string& s) { writeApp(s, "Foo.app", kBundleID, "11.0"); }));
  Outcome outcome = installFrom(url("/Foo.zip"));
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->code, kErrorInstallAppRequiresNewerOS);
  EXPECT_EQ(outcome.error->userInfo["newPlist"]["LSMinimumSystemVersion"], "11.0");
  EXPECT_EQ(events()[0].info["newPlist"]["CFBundleIdentifier"], kBundleID);
}

TEST_F(PipelineTest, AppAlreadyAtTargetEndsWith19AndStaysUntouched) {
  writeApp(target(), "Foo.app", kBundleID);
  writeFile(target() + "/Foo.app/Contents/Resources/mine", "keep");
  serve("/Foo.zip", fooZip().bytes);

  Outcome outcome = installFrom(url("/Foo.zip"));

  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->code, kErrorInstallInstallationFailed);
  EXPECT_EQ(outcome.error->userInfo["destinationPath"], target() + "/Foo.app");
  EXPECT_EQ(outcome.finalPath, target() + "/Foo.app");
  EXPECT_EQ(readFile(target() + "/Foo.app/Contents/Resources/mine"), "keep");
  EXPECT_EQ(eventCodes(), std::vector<long>{19});
  EXPECT_TRUE(leftScratchFolders().empty());
}

TEST_F(PipelineTest, ProgressFollowsTheRunInOrder) {
  serve("/Foo.zip", fooZip().bytes);
  installFrom(url("/Foo.zip"));

  auto postings = progress();
  ASSERT_GE(postings.size(), 8U);
  EXPECT_EQ(postings[0], (Json{{"message", "Obtaining app download location…"}}));
  EXPECT_EQ(postings[1], (Json{{"message", "Downloading app update…"}}));
  EXPECT_EQ(postings[2], (Json{{"url", url("/Foo.zip")}}));
  std::size_t abortstop = 0;
  for (std::size_t i = 0; i < postings.size(); ++i)
    if (postings[i].contains("abortstop")) abortstop = i;
  ASSERT_GT(abortstop, 3U);
  for (std::size_t i = 3; i < abortstop; ++i) {
    EXPECT_TRUE(hasPrefix(postings[i]["message"].get<std::string>(), "Downloaded ")) << postings[i].dump();
    EXPECT_TRUE(postings[i].contains("percent")) << "the server announces the length";
  }
  EXPECT_EQ(postings[abortstop - 1]["percent"], 100.0);
  auto messages = progressMessages();
  auto at = [&](const std::string& text) { return std::find(messages.begin(), messages.end(), text); };
  EXPECT_LT(at("Extracting app update…"), at("Installing app update…"));
  EXPECT_LT(at("Installing app update…"), at("Installing app update 100%…"));
  EXPECT_EQ(messages.back(), "Finished!");
}

TEST_F(PipelineTest, EmptyDownloadFailsOrIsAborted) {
  server_->on("/Foo.zip", ScriptedResponse::text(200, ""));
  EXPECT_EQ(installFrom(url("/Foo.zip")).code(), kErrorInstallDownloadFailed);

  // The abort list holds the very string object the run was given.
  auto list = std::make_shared<AbortAppInfos>();
  AppInstallHelper::setAbortAppInfosProvider([list] { return list; });
  std::string bundleIdentifier = kBundleID;
  std::string sameText = kBundleID;
  list->addObject(sameText);
  ConfigFile configFile = catalog(Json::object());
  auto run = [&] {
    std::optional<Error> error;
    std::thread thread([&] {
      error = AppInstallHelper::installApp(bundleIdentifier, configFile, url("/Foo.zip"), true, target(), nullptr);
    });
    thread.join();
    return error ? error->code : 0;
  };
  EXPECT_EQ(run(), kErrorInstallDownloadFailed) << "equal text is not the same object";
  list->addObject(bundleIdentifier);
  EXPECT_EQ(run(), kErrorInstallAborted);
  EXPECT_TRUE(events().empty());
}

TEST_F(PipelineTest, AbortStopsARunningDownload) {
  server_->on("/Foo.zip", ScriptedResponse::trickle(std::string(1 << 20, 'z'), 4096, Milliseconds(5)));
  auto list = std::make_shared<AbortAppInfos>();
  AppInstallHelper::setAbortAppInfosProvider([list] { return list; });
  std::string bundleIdentifier = kBundleID;
  ConfigFile configFile = catalog(Json::object());
  std::atomic<bool> cancelled{false};
  auto token = platform::NotificationCenter::defaultCenter().addObserver(
      InstallProgress::kNotificationName, [&](const Json& object) {
        if (object.contains("percent") && object["percent"].get<double>() > 1.0 && !cancelled.exchange(true))
          list->addObject(bundleIdentifier);
      });
  std::optional<Error> error;
  std::thread thread([&] {
    error = AppInstallHelper::installApp(bundleIdentifier, configFile, url("/Foo.zip"), true, target(), nullptr);
  });
  thread.join();
  platform::NotificationCenter::defaultCenter().removeObserver(token);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, kErrorInstallAborted);
  EXPECT_EQ(error->userInfo["bundleIdentifier"], kBundleID);
  EXPECT_FALSE(posted("Extracting app update…"));
}

TEST_F(PipelineTest, HeadersFollowTheCatalogEntry) {
  struct HeaderCase {
    Json entry;
    std::optional<std::string> userAgent;
    std::optional<std::string> referer;
  };
  const std::string fake =
      "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_14) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/12.0 "
      "Safari/605.1.15";
  const HeaderCase cases[] = {
      {Json{{"da", 1}, {"ca", "Custom/1.0"}}, fake, std::nullopt},
      {Json{{"ca", "Custom/1.0"}, {"re", "https://example.com/"}}, "Custom/1.0", "https://example.com/"},
  };
  serve("/Foo.zip", fooZip().bytes);
  for (const auto& c : cases) {
    std::filesystem::remove_all(target() + "/Foo.app");
    installFrom(url("/Foo.zip"), c.entry);
    auto seen = server_->requests("/Foo.zip").back();
    if (c.userAgent) {
      EXPECT_EQ(seen.header("User-Agent"), c.userAgent);
    }
    EXPECT_EQ(seen.header("Referer"), c.referer);
  }
}

TEST_F(PipelineTest, FeedURLIsEscapedOnlyWhenItHoldsNoEscapes) {
  serve("/Foo App.zip", fooZip().bytes);
  // A blank is escaped before the request; the server sees the path decoded.
  Outcome plain = installFrom(server_->baseURL("localhost") + "/Foo App.zip");
  EXPECT_FALSE(plain.error);
  EXPECT_EQ(plain.finalPath, target() + "/Foo.app");
}

TEST_F(PipelineTest, EmptyBundleIdentifierEndsAtOnce) {
  Outcome outcome = installFrom(url("/Foo.zip"), Json::object(), "");
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->code, kErrorInstallMissingBundleID);
  EXPECT_TRUE(outcome.error->userInfo.empty());
  EXPECT_EQ(server_->requestCount("/Foo.zip"), 0);
}

}  // namespace
}  // namespace vantor::test

namespace vantor::test {
namespace {

TEST(DownloadedFileTypeTest, LongNamesKeepTheirLast30Characters) {
  const std::string base = "https://dl.example.com/files/";
  const std::string long300 = std::string(270, 'a') + "-tail-of-thirty-characters.dmg";
  ASSERT_EQ(long300.size(), 300U);
  const std::string whole255 = std::string(251, 'b') + ".zip";
  const std::string exactly256 = std::string(252, 'c') + ".zip";
  EXPECT_EQ(DownloadedFileType::fileNameForDownloadURL(base + long300), long300.substr(270));
  EXPECT_EQ(DownloadedFileType::fileNameForDownloadURL(base + whole255), whole255);
  EXPECT_EQ(DownloadedFileType::fileNameForDownloadURL(base + exactly256), exactly256.substr(226));
  EXPECT_EQ(DownloadedFileType::fileNameForDownloadURL("https://dl.example.com/get.php?id=3"), "get.php?id=3");
  EXPECT_EQ(DownloadedFileType::fileNameForDownloadURL("https://dl.example.com/.."), "download");
}

TEST(DownloadedFileTypeTest, KnownExtensionsAreExact) {
  for (const char* name : {"a.dmg", "a.zip", "a.tar", "a.tar.gz", "a.tgz", "a.tar.bz2", "a.tbz", "a.xz", "a.txz",
                           "a.lzma", "a.pkg"})
    EXPECT_TRUE(DownloadedFileType::hasKnownArchiveExtension(name)) << name;
  for (const char* name : {"App.DMG", "a.Zip", "get.php", "a.mpkg", "download", "a.7z"})
    EXPECT_FALSE(DownloadedFileType::hasKnownArchiveExtension(name)) << name;
}

TEST(DownloadedFileTypeTest, GuessesByMagicAndTrailer) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* extension;
    bool recognised;
  };
  std::string koly(600, 'q');
  koly.replace(600 - 512, 4, "koly");
  std::string efi(600, 'q');
  efi.replace(600 - 512, 4, "EFI ");
  std::string kolyTooShort(512, 'q');
  kolyTooShort.replace(0, 4, "koly");
  const Case cases[] = {
      {"gzip", std::string("\x1F\x8B\x08\x00rest", 8), ".tgz", true},
      {"gzip with flags", std::string("\x1F\x8B\x08\x08rest", 8), ".dmg", false},
      {"zip", std::string("PK\x03\x04rest", 8), ".zip", true},
      {"xar", "xar!rest", ".pkg", true},
      {"x", "xyzw", ".dmg", true},
      {"bzip2 1", "BZh1rest", ".dmg", true},
      {"bzip2 9", "BZh9rest", ".dmg", true},
      {"bzip2 5", "BZh5rest", ".dmg", false},
      {"koly trailer", koly, ".dmg", true},
      {"EFI trailer", efi, ".dmg", true},
      {"512 bytes are too few for a trailer", kolyTooShort, ".dmg", false},
      {"empty", "", ".dmg", false},
      {"two bytes", "PK", ".dmg", false},
  };
  TempFolder folder;
  for (const auto& c : cases) {
    writeFile(folder / "file", c.bytes);
    auto guess = DownloadedFileType::guess(folder / "file");
    EXPECT_EQ(guess.extension, c.extension) << c.name;
    EXPECT_EQ(guess.recognised, c.recognised) << c.name;
    EXPECT_EQ(guess.size, c.bytes.size()) << c.name;
  }
}

TEST_F(PipelineTest, DownloadLargerThanTheScratchSpaceFailsCleanly) {
  TempFolder mountPoint;
  if (::geteuid() != 0 || std::system(("mount -t tmpfs -o size=64k tmpfs " + mountPoint.path() + " 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs";
  struct Unmount {
    std::string path;
    ~Unmount() { (void)std::system(("umount " + path).c_str()); }
  } unmount{mountPoint.path()};
  ScopedEnvironmentVariable smallTmp("TMPDIR", mountPoint.path());
  std::string big = fooZip().bytes + std::string(256 * 1024, '\0');
  serve("/Foo.zip", big);

  Outcome outcome = installFrom(url("/Foo.zip"));

  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->code, kErrorInstallExtractionFailed);
  EXPECT_EQ(outcome.error->userInfo["@(writeSucc)"], false);
  EXPECT_EQ(outcome.error->userInfo["_downloadedFileSize"], big.size());
  EXPECT_TRUE(targetEntries().empty());
  EXPECT_TRUE(folderEntries(mountPoint.path()).empty()) << "nothing is left on the small volume";
}

}  // namespace
}  // namespace vantor::test

namespace vantor::test {
namespace {

TEST_F(PipelineTest, IdentifierFixupOfTheFoundAppIsApplied) {
  // Editions share "com.example.suite"; the catalog tells them apart by executable name.
  const std::string requested = "com.example.suite.Foo";
  ConfigFile configFile(Json{{"bundleIDMapping", {{requested, Json::object()}, {"com.example.suite", {{"fu", 2}}}}}});
  TempFolder stage;
  writeApp(stage.path(), "Foo.app", "com.example.suite");
  serve("/Suite.zip", archiveOf(stage.path(), "zip"));

  std::optional<Error> error;
  std::thread run([&] {
    error = AppInstallHelper::installApp(requested, configFile, url("/Suite.zip"), true, target(), nullptr);
  });
  run.join();

  EXPECT_FALSE(error) << error->description();
  EXPECT_TRUE(std::filesystem::is_directory(target() + "/Foo.app"));
}

}  // namespace
}  // namespace vantor::test
