// The context object, the fatal-error path's pieces and the persistent cache.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "foundation/ExceptionHandler.h"
#include "foundation/TesselLib.h"
#include "foundation/UserDefaultsHelpers.h"
#include "foundation/ZRPersistentCache.h"
#include "platform/ScriptFrontEnd.h"
#include "platform/UserDefaults.h"

namespace vantor {
namespace {

TEST(ExceptionHandlerTest, RecordKeepsTheLastTenExceptions) {
  test::isolateHome();
  for (int i = 0; i < 11; ++i) cc_defaults_addtoarray("tessellib_exception_info", "record " + std::to_string(i), 10);
  auto stored = platform::UserDefaults::standard().objectForKey("tessellib_exception_info");
  ASSERT_TRUE(stored);
  ASSERT_EQ(stored->size(), 10u);
  EXPECT_EQ((*stored)[0], "record 1");  // the oldest went
  EXPECT_EQ((*stored)[9], "record 10");

  platform::UserDefaults::standard().setObject("not_an_array", "text");
  cc_defaults_addtoarray("not_an_array", 1, 10);
  EXPECT_EQ(platform::UserDefaults::standard().objectForKey("not_an_array"), Json::array({1}));
}

TEST(ExceptionHandlerTest, DetailsOver400CharactersAreShortened) {
  std::string exactly400(400, 'd');
  EXPECT_EQ(detail::shortenedFeedbackDetails(exactly400), exactly400);
  EXPECT_EQ(detail::shortenedFeedbackDetails(exactly400 + "e"), exactly400 + "  …\n(Remaining message omitted)");
  // Counted in characters, not bytes.
  std::string umlauts;
  for (int i = 0; i < 400; ++i) umlauts += "ü";
  EXPECT_EQ(detail::shortenedFeedbackDetails(umlauts), umlauts);
}

TEST(ExceptionHandlerTest, ExceptionTextAndMailLink) {
  test::isolateHome();
  ExceptionInfo info{"std::logic_error", "broken", "broken", std::nullopt, {"frame 1", "frame 2"}};
  EXPECT_EQ(detail::exceptionText(info), " broken broken (null) frame 1\nframe 2");
  std::string link = detail::feedbackMailLink("std::logic_error", "the details", true);
  EXPECT_EQ(link.rfind("mailto:", 0), 0u);
  EXPECT_NE(link.find("subject=VantorInstallHelper v"), std::string::npos);
  EXPECT_NE(link.find("Hello\nA fatal error in VantorInstallHelper occurred (std::logic_error)."), std::string::npos);
  EXPECT_NE(link.find("P.S. Details: the details\n"), std::string::npos);
}

TEST(ExceptionHandlerTest, UncaughtExceptionOnAThreadEndsWithStatusOne) {
  EXPECT_EXIT(
      {
        test::isolateHome();
        platform::setFrontEnd(std::make_unique<platform::ScriptFrontEnd>(std::nullopt, std::nullopt));
        installExceptionHandler();
        std::thread([] { throw std::runtime_error("from a worker"); }).join();
      },
      ::testing::ExitedWithCode(1), "alert_feedback std::runtime_error");
}

TEST(TesselLibTest, FrameworksMustBeLinkedAtTheirTop) {
  test::TempFolder folder;
  std::string frameworks = folder / "Frameworks";
  EXPECT_EQ(detail::findDamagedFramework(frameworks), std::nullopt);  // no folder: passes
  std::filesystem::create_directories(frameworks + "/Good.framework/Versions/A");
  test::writeFile(frameworks + "/Good.framework/Versions/A/Good", "binary");
  std::filesystem::create_symlink("Versions/A/Good", frameworks + "/Good.framework/Good");
  test::writeFile(frameworks + "/libplain.dylib", "a plain library has nothing inside to check");
  EXPECT_EQ(detail::findDamagedFramework(frameworks), std::nullopt);

  std::filesystem::create_directories(frameworks + "/Bad.framework");
  test::writeFile(frameworks + "/Bad.framework/Bad", "a regular file where a link belongs");
  EXPECT_EQ(detail::findDamagedFramework(frameworks), frameworks + "/Bad.framework/Bad");
}

TEST(TesselLibTest, CrashLogsMatchTheNameWithoutCaseAndEndInCrash) {
  test::TempFolder folder;
  for (const char* name : {"Editor_2020-01-01-120000_host.crash", "editor_x.crash", "Editor.diag", "Other.crash"})
    test::writeFile(folder / name, "x");
  EXPECT_EQ(detail::crashLogsIn(folder.path(), "Editor"),
            (std::vector<std::string>{folder / "Editor_2020-01-01-120000_host.crash", folder / "editor_x.crash"}));
}

TEST(TesselLibTest, CreationMakesTheSupportFolderAndASecondOneIsFatal) {
  const std::string& home = test::isolateHome();
  platform::setFrontEnd(std::make_unique<platform::ScriptFrontEnd>(std::nullopt, std::nullopt));
  TesselLib& lib = TesselLib::create();
  EXPECT_EQ(cc, &lib);
  EXPECT_EQ(lib.suppDir(), home + "/Library/Application Support/VantorInstallHelper");
  EXPECT_TRUE(std::filesystem::is_directory(*lib.suppDir()));
  EXPECT_EQ(lib.appBuildNumber(), 1);
  EXPECT_EQ(lib.prefsPath(), home + "/Library/Preferences/com.vantor.VantorInstallHelper.plist");
  EXPECT_DEATH(TesselLib::create(), "Assertion failed: \\(cc == nullptr\\)");
}

TEST(ZRPersistentCacheTest, SavesAndLoadsAndReportsAFailedSave) {
  test::TempFolder folder;
  {
    ZRPersistentCache cache(folder / "persistentCache.dict");
    cache.setObject("apps", Json::array({"a", "b"}));
    cache.setObject("count", 2);
    EXPECT_EQ(cache.save(), std::nullopt);
  }
  ZRPersistentCache loaded(folder / "persistentCache.dict");
  EXPECT_EQ(loaded.objectForKey("apps"), Json::array({"a", "b"}));
  loaded.setObject("count", std::nullopt);
  EXPECT_EQ(loaded.objectForKey("count"), std::nullopt);

  ZRPersistentCache nowhere(folder / "missing/folder/persistentCache.dict");
  nowhere.setObject("k", "v");
  auto error = nowhere.save();
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, kPOSIXErrorDomain);
}

}  // namespace
}  // namespace vantor
